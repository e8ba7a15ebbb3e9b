// The about box: the program's name with its version and icon. The update check adds its label
// and its check box below them (UpdateArea()).
#pragma once

#include <QDialog>

class QVBoxLayout;

namespace quillmate::ui {

// "KV-DESFire Quillmate V" followed by the program's version.
QString ProgramNameWithVersion();

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget *parent = nullptr);

  // The place for the update check's label and check box, between the version and "OK".
  QVBoxLayout *UpdateArea() const { return update_area_; }

 private:
  QVBoxLayout *update_area_ = nullptr;
};

}  // namespace quillmate::ui
