// The about box: the program's name with its version and icon, the update check's label and its
// check box "automatisch auf neue Version prüfen".
//
// With an update checker and the check on, the box starts the list download when it opens and
// shows the result in the label (no connection, no list, a newer version as a link, or current).
// With the check off it makes no network access: the label says the check is off, and the button
// "Jetzt prüfen" checks on request. The link (a click, Return or Space on it, or a screen reader's
// press action) downloads the package on a worker thread with a progress bar and "Abbrechen";
// the verified package goes to the desktop's package installer, the box then closes with
// kUpdateStarted, and the program ends so that the package can replace it. Closing the box in
// any way while the package is on its way cancels the download, and nothing is installed.
#pragma once

#include <QDialog>

#include "ui/update_link.h"

class QCheckBox;
class QDialogButtonBox;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace quillmate {
class UpdateChecker;
}

namespace quillmate::ui {

// "KV-DESFire Quillmate V" followed by the program's version.
QString ProgramNameWithVersion();

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // The result after a package was handed to the installer.
  static constexpr int kUpdateStarted = 2;

  // `checker` may be null (no update area); `automatic` is the "Update" setting shown by the
  // check box, AutomaticCheck() its state when the box closed.
  explicit CAboutDlg(QWidget *parent = nullptr, UpdateChecker *checker = nullptr,
                     bool automatic = true);
  // Cancels a package download that still runs.
  ~CAboutDlg() override;

  QVBoxLayout *UpdateArea() const { return update_area_; }
  UpdateLink *UpdateLabel() const { return update_label_; }
  QCheckBox *AutomaticCheckBox() const { return automatic_; }
  QPushButton *CheckNowButton() const { return check_now_; }
  QProgressBar *DownloadProgress() const { return progress_; }
  QPushButton *CancelDownloadButton() const { return cancel_download_; }
  bool AutomaticCheck() const;

  // Starts the offered update as a click on the link does; nothing while no update is offered
  // or a download runs.
  void StartUpdate();

 public slots:
  // Any close but the update's own cancels a running package download first.
  void done(int result) override;

 private:
  void CheckNow();
  void ShowList();
  void ShowDownloadProgress(qint64 received, qint64 total);
  void FinishDownload(const QString &path, const QString &error);
  void ShowDownloading(bool downloading);
  void CancelDownload();

  UpdateChecker *checker_ = nullptr;
  QVBoxLayout *update_area_ = nullptr;
  UpdateLink *update_label_ = nullptr;
  QCheckBox *automatic_ = nullptr;
  QPushButton *check_now_ = nullptr;
  QProgressBar *progress_ = nullptr;
  QPushButton *cancel_download_ = nullptr;
  QDialogButtonBox *buttons_ = nullptr;
  bool downloading_ = false;
};

}  // namespace quillmate::ui
