#include "ui/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace quillmate::ui {

QString ProgramNameWithVersion() {
  return QStringLiteral("KV-DESFire Quillmate V") + QStringLiteral(QUILLMATE_VERSION);
}

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent) {
  setWindowTitle(tr("Info über Quillmate"));
  auto *layout = new QVBoxLayout(this);
  auto *top = new QHBoxLayout;
  auto *icon = new QLabel(this);
  icon->setPixmap(QIcon(QStringLiteral(":/art/quillmate.svg")).pixmap(64, 64));
  top->addWidget(icon, 0, Qt::AlignTop);
  auto *text = new QVBoxLayout;
  auto *name = new QLabel(ProgramNameWithVersion(), this);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  text->addWidget(name);
  text->addWidget(new QLabel(tr("Personalisierung von DESFire-Karten in Serie"), this));
  top->addLayout(text, 1);
  layout->addLayout(top);
  update_area_ = new QVBoxLayout;
  layout->addLayout(update_area_);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

}  // namespace quillmate::ui
