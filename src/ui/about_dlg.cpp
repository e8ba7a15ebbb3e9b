#include "ui/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/label.h"

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
  auto *name = new CLabel(this);
  name->SetLink(false);
  QFont bold = name->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  name->SetLogFont(bold);
  name->SetText(ProgramNameWithVersion());
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
