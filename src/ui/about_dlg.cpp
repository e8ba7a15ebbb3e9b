#include "ui/about_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/background_call.h"
#include "ui/label.h"
#include "writer/update_checker.h"

namespace quillmate::ui {

QString ProgramNameWithVersion() {
  return QStringLiteral("KV-DESFire Quillmate V") + QStringLiteral(QUILLMATE_VERSION);
}

CAboutDlg::CAboutDlg(QWidget *parent, UpdateChecker *checker, bool automatic)
    : QDialog(parent), checker_(checker) {
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
  if (checker_) {
    update_label_ = new CLabel(this);
    update_label_->setObjectName(QStringLiteral("updateLabel"));
    update_label_->SetLink(false);
    update_label_->setWordWrap(true);
    update_label_->SetClickHandler([this] { OnUpdateClicked(); });
    update_area_->addWidget(update_label_);
    automatic_ = new QCheckBox(tr("automatisch auf neue Version prüfen"), this);
    automatic_->setChecked(automatic);
    update_area_->addWidget(automatic_);
    connect(checker_, &UpdateChecker::ListReady, this, &CAboutDlg::ShowList);
    checker_->StartListDownload();
  }
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

bool CAboutDlg::AutomaticCheck() const {
  return automatic_ && automatic_->isChecked();
}

void CAboutDlg::ShowList() {
  const quillmate::UpdateLabel label =
      UpdateLabelFor(checker_->List(), checker_->OwnVersion(), checker_->OwnBuild());
  update_label_->SetText(label.text);
  update_label_->SetTextColor(QColor(label.red, label.green, label.blue));
  update_label_->SetLink(label.link);
  update_label_->SetLinkCursor(label.link ? std::optional<QCursor>(Qt::PointingHandCursor)
                                          : std::nullopt);
}

void CAboutDlg::OnUpdateClicked() {
  update_label_->SetText(tr("Update wird gestartet, bitte warten!"));
  update_label_->SetLink(false);
  QString path;
  QString error;
  RunInBackground([&] { path = checker_->DownloadInstaller(&error); });
  if (!path.isEmpty() && checker_->HandOver(path)) {
    done(kUpdateStarted);
    return;
  }
  if (error.isEmpty()) error = tr("Das Update konnte nicht gestartet werden: %1").arg(path);
  update_label_->SetText(error);
  update_label_->SetTextColor(QColor(255, 0, 0));
}

}  // namespace quillmate::ui
