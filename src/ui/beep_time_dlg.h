// The settings of the cycles and the beep: the tone length after a written card and the timer
// period of both cycles. The dialog only checks and hands back the values; the main window stores
// them and uses them from the next cycle on.
#pragma once

#include <QDialog>

class QLineEdit;

namespace quillmate::ui {

class CBeepTimeDlg : public QDialog {
  Q_OBJECT

 public:
  // Shows the current values.
  CBeepTimeDlg(int beep_time_ms, int cycle_period_ms, QWidget *parent = nullptr);

  // The values accepted with OK (the initial ones until then).
  int BeepTimeMs() const { return beep_time_ms_; }
  int CyclePeriodMs() const { return cycle_period_ms_; }

 public slots:
  // Takes both fields over; a field that is no unsigned number or lies outside its range is
  // refused with a message that names it, gets the focus and the dialog stays open.
  void accept() override;

 private:
  // The field's value in minimum..maximum, or -1 after the refusal naming `caption`.
  qint64 TakeField(QLineEdit *field, const QString &caption, int minimum, int maximum);

  QLineEdit *beep_time_;
  QLineEdit *cycle_period_;
  int beep_time_ms_;
  int cycle_period_ms_;
};

}  // namespace quillmate::ui
