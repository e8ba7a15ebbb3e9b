// The about box: the program's name with its version and icon, the update check's label and its
// check box "automatisch auf neue Version prüfen".
//
// With an update checker, the box starts the list download when it opens and shows the result in
// the label (no connection, no list, a newer version as a link, or current). A click on the link
// downloads the package in the background (the window keeps repainting), checks its digest and
// hands it to the desktop's package installer; the box then closes with kUpdateStarted, and the
// program ends so that the package can replace it.
#pragma once

#include <QDialog>

class QCheckBox;
class QVBoxLayout;

namespace quillmate {
class UpdateChecker;
}

namespace quillmate::ui {

class CLabel;

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

  QVBoxLayout *UpdateArea() const { return update_area_; }
  CLabel *UpdateLabel() const { return update_label_; }
  QCheckBox *AutomaticCheckBox() const { return automatic_; }
  bool AutomaticCheck() const;

 private:
  void ShowList();
  void OnUpdateClicked();

  UpdateChecker *checker_ = nullptr;
  QVBoxLayout *update_area_ = nullptr;
  CLabel *update_label_ = nullptr;
  QCheckBox *automatic_ = nullptr;
};

}  // namespace quillmate::ui
