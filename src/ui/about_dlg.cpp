// The about box: name, version and icon, and the update check's label and check box.
#include "ui/about_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/label.h"
#include "writer/update/update_checker.h"

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
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  if (checker_) {
    update_label_ = new UpdateLink(this);
    update_label_->setObjectName(QStringLiteral("updateLabel"));
    update_label_->setWordWrap(true);
    update_label_->SetActivation([this] { StartUpdate(); });
    update_area_->addWidget(update_label_);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("updateProgress"));
    progress_->setAccessibleName(tr("Update wird geladen"));
    cancel_download_ = new QPushButton(tr("Abbrechen"), this);
    cancel_download_->setObjectName(QStringLiteral("cancelUpdateButton"));
    connect(cancel_download_, &QPushButton::clicked, this, &CAboutDlg::CancelDownload);
    auto *download_row = new QHBoxLayout;
    download_row->addWidget(progress_, 1);
    download_row->addWidget(cancel_download_);
    update_area_->addLayout(download_row);
    automatic_ = new QCheckBox(tr("automatisch auf neue Version prüfen"), this);
    automatic_->setChecked(automatic);
    update_area_->addWidget(automatic_);
    check_now_ = new QPushButton(tr("&Jetzt prüfen"), this);
    check_now_->setObjectName(QStringLiteral("checkNowButton"));
    connect(check_now_, &QPushButton::clicked, this, &CAboutDlg::CheckNow);
    buttons_->addButton(check_now_, QDialogButtonBox::ActionRole);
    connect(checker_, &UpdateChecker::ListReady, this, &CAboutDlg::ShowList);
    connect(checker_, &UpdateChecker::InstallerProgress, this, &CAboutDlg::ShowDownloadProgress);
    connect(checker_, &UpdateChecker::InstallerReady, this, &CAboutDlg::FinishDownload);
    ShowDownloading(false);
    if (automatic) {
      CheckNow();
    } else {
      // The operator switched the check off: not even opening this box reaches the network.
      update_label_->SetText(tr("Die Update-Prüfung ist ausgeschaltet."));
      update_label_->SetTextColor(QColor(128, 128, 128));
    }
  }
  layout->addWidget(buttons_);
}

CAboutDlg::~CAboutDlg() {
  CancelDownload();
}

bool CAboutDlg::AutomaticCheck() const {
  return automatic_ && automatic_->isChecked();
}

void CAboutDlg::CheckNow() {
  check_now_->hide();
  checker_->StartListDownload();
}

void CAboutDlg::ShowList() {
  if (downloading_) return;
  const quillmate::UpdateLabel label =
      UpdateLabelFor(checker_->List(), checker_->OwnVersion(), checker_->OwnBuild());
  update_label_->SetText(label.text);
  update_label_->SetTextColor(QColor(label.red, label.green, label.blue));
  update_label_->SetLinkOn(label.link);
  // An offered update is what the operator came for: Return starts it.
  if (label.link) update_label_->setFocus();
}

void CAboutDlg::StartUpdate() {
  if (!checker_ || downloading_ || !update_label_->IsLink()) return;
  if (!checker_->StartInstallerDownload()) return;
  update_label_->SetText(tr("Update wird gestartet, bitte warten!"));
  update_label_->SetTextColor(QColor(192, 0, 0));
  update_label_->SetLinkOn(false);
  progress_->setRange(0, 0);  // the size is not known yet
  ShowDownloading(true);
}

void CAboutDlg::ShowDownloadProgress(qint64 received, qint64 total) {
  if (!downloading_ || total <= 0) return;
  // A QProgressBar counts in int: kilobytes fit any package the checker accepts.
  progress_->setRange(0, static_cast<int>(total / 1024));
  progress_->setValue(static_cast<int>(std::min(received, total) / 1024));
}

void CAboutDlg::FinishDownload(const QString &path, const QString &error) {
  if (!downloading_) return;
  ShowDownloading(false);
  if (!path.isEmpty()) {
    if (checker_->HandOver(path)) {
      done(kUpdateStarted);
      return;
    }
    UpdateChecker::DiscardPackage(path);
  }
  update_label_->SetText(
      error.isEmpty() ? tr("Das Update konnte nicht gestartet werden: %1").arg(path) : error);
  update_label_->SetTextColor(QColor(255, 0, 0));
}

void CAboutDlg::ShowDownloading(bool downloading) {
  downloading_ = downloading;
  progress_->setVisible(downloading);
  cancel_download_->setVisible(downloading);
  // During the download, "OK" would read as "go on": only "Abbrechen" (or closing) ends it.
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(!downloading);
  if (downloading) cancel_download_->setFocus();
}

void CAboutDlg::CancelDownload() {
  if (downloading_ && checker_) checker_->CancelInstallerDownload();
}

void CAboutDlg::done(int result) {
  if (result != kUpdateStarted && downloading_) {
    CancelDownload();
    downloading_ = false;  // whatever the download still reports, this box hands nothing over
  }
  QDialog::done(result);
}

}  // namespace quillmate::ui
