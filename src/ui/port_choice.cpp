#include "ui/port_choice.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ip_addr_suche.h"

namespace quillmate::ui {
namespace {

struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CQuillmateDlg)
};

// A network reader's search entry as a port name: "[NAME]10.0.0.7-10001" opens by its identity.
QString PortNameOfEntry(const QString &entry) {
  const qsizetype close = entry.indexOf(QLatin1Char(']'));
  return entry.startsWith(QLatin1Char('[')) && close > 0 ? entry.left(close + 1) : entry;
}

}  // namespace

bool AskForPortName(QWidget *parent, PortSettings &port) {
  QDialog dialog(parent);
  dialog.setWindowTitle(Texts::tr("Schnittstelle wählen"));
  auto *layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(
      Texts::tr("Schnittstelle des Lesers (z. B. /dev/ttyUSB0 oder 192.168.1.50-10001):"),
      &dialog));
  auto *row = new QHBoxLayout;
  auto *name = new QLineEdit(port.name, &dialog);
  name->setMinimumWidth(320);
  auto *search = new QPushButton(QStringLiteral("IP ?"), &dialog);
  search->setAutoDefault(false);
  row->addWidget(name);
  row->addWidget(search);
  layout->addLayout(row);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(search, &QPushButton::clicked, &dialog, [&dialog, name] {
    CIPAddrSuche addresses(&dialog);
    addresses.exec();
    if (!addresses.ChosenEntry().isEmpty()) name->setText(PortNameOfEntry(addresses.ChosenEntry()));
  });
  if (dialog.exec() != QDialog::Accepted) return false;
  const QString chosen = name->text().trimmed();
  if (chosen.isEmpty()) return false;
  port.name = chosen;
  return true;
}

}  // namespace quillmate::ui
