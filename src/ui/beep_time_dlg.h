// STUB until the controls branch is merged.
#pragma once
#include <QDialog>
namespace quillmate::ui {
class CBeepTimeDlg : public QDialog {
 public:
  CBeepTimeDlg(int beep, int cycle, QWidget *parent = nullptr) : QDialog(parent), b_(beep), c_(cycle) {}
  int BeepTimeMs() const { return b_; }
  int CyclePeriodMs() const { return c_; }
 private:
  int b_, c_;
};
}  // namespace quillmate::ui
