// The window's card work (single operations and cycles), the job and log files, and the dialogs
// behind "Löschen" and "Einstellungen".
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/beep_time_dlg.h"
#include "ui/busy_guard.h"
#include "ui/file_choices.h"
#include "ui/lamp_panel.h"
#include "ui/loeschen_dlg.h"
#include "ui/message_box.h"
#include "ui/quillmate_dlg.h"
#include "writer/format_delete.h"
#include "writer/job_file.h"
#include "writer/job_risks.h"
#include "writer/reader_port.h"

namespace quillmate::ui {

void CQuillmateDlg::OnSingleWrite() {
  if (Busy()) return;
  form_.status->clear();
  if (!TakeOver()) return;
  {
    BusyGuard busy;
    const RunResult result = operations_->SingleWrite();
    ShowRefusal(result.check);
    // After a success the field shows the next value; after a failure the value is unchanged.
    ShowData();
  }
  FinishPendingClose();
}

void CQuillmateDlg::OnSingleRead() {
  if (Busy()) return;
  form_.status->clear();
  if (!TakeOver()) return;
  {
    BusyGuard busy;
    const RunResult result = operations_->SingleRead();
    ShowRefusal(result.check);
    ShowData();
  }
  FinishPendingClose();
}

void CQuillmateDlg::OnWriteCycle() {
  if (operations_->RunningCycle() == Cycle::kWrite) {
    StopCycle();
    return;
  }
  if (!StartCycle(Cycle::kWrite)) form_.write_cycle->setChecked(false);
}

void CQuillmateDlg::OnReadCycle() {
  if (operations_->RunningCycle() == Cycle::kRead) {
    StopCycle();
    return;
  }
  if (!StartCycle(Cycle::kRead)) form_.read_cycle->setChecked(false);
}

bool CQuillmateDlg::ConfirmRisks() {
  const QStringList risks = JobRisks(job_, 0);
  if (risks.isEmpty()) return true;
  for (const QString &risk : risks) AppendStatusLine(risk);
  return ShowMessageBox(this,
                        risks.join(QLatin1Char('\n')) + QStringLiteral("\n\n") +
                            tr("Den Zyklus trotzdem starten?"),
                        BoxIcon::kQuestion, BoxButtons::kYesNo) == BoxAnswer::kYes;
}

bool CQuillmateDlg::StartCycle(Cycle cycle) {
  if (Busy()) return false;
  form_.status->clear();
  // A cycle without a reader would wait for cards it can never see.
  if (context_.handle <= 0) {
    AppendStatusLine(NoReaderText());
    return false;
  }
  if (!TakeOver()) return false;
  if (cycle == Cycle::kWrite && !ConfirmRisks()) return false;
  const JobCheck check =
      cycle == Cycle::kWrite ? operations_->StartWriteCycle() : operations_->StartReadCycle();
  if (!check.ok) {
    ShowRefusal(check);
    return false;
  }
  EnableControls(false);
  QPushButton *button = cycle == Cycle::kWrite ? form_.write_cycle : form_.read_cycle;
  button->setEnabled(true);
  button->setChecked(true);
  if (cycle == Cycle::kWrite) {
    form_.lamps->ShowLamp(Lamp::kRed);
    form_.lamps->show();
  }
  cycle_timer_.start(operations_->RunningPeriodMs());
  return true;
}

void CQuillmateDlg::StopCycle() {
  cycle_timer_.stop();
  operations_->StopCycle();
  form_.write_cycle->setChecked(false);
  form_.read_cycle->setChecked(false);
  // Stopped from inside a tick (the click came while the library waited for the reader): the
  // tick still works on the job, so the controls that change it come back when the tick ends.
  if (!operations_->InTick()) EnableControls(true);
}

void CQuillmateDlg::OnTick() {
  if (operations_->InTick() || BusyGuard::Busy()) return;
  operations_->Tick();
  // The cycle was stopped during the tick, or ended in the core (a series whose value outgrew
  // the file).
  if (operations_->RunningCycle() == Cycle::kNone) StopCycle();
  FinishPendingClose();
}

// --- files -----------------------------------------------------------------------------------------

void CQuillmateDlg::OnChooseLogFile(bool write_log) {
  QLineEdit *shown = write_log ? form_.log_write_file : form_.log_read_file;
  const QString chosen = ChooseLogFile(this, write_log, shown->text());
  if (chosen.isEmpty()) return;
  (write_log ? operator_settings_.logs.write_file : operator_settings_.logs.read_file) = chosen;
  shown->setText(chosen);
  ApplyLogSettings();
  if (!settings_.SaveOperatorSettings(operator_settings_)) {
    AppendStatusLine(
        tr("Die Einstellungen konnten nicht gespeichert werden: %1").arg(settings_.FileName()));
  }
}

void CQuillmateDlg::OnLoadJob() {
  const QString path = ChooseJobFile(this, JobFileChoice::kLoad);
  if (path.isEmpty()) return;
  DesfireSet loaded = job_;
  const JobFileResult result = LoadJobFile(path, loaded);
  if (!result.ok) {
    ShowMessageBox(this, result.message, BoxIcon::kWarning);
    return;
  }
  if (const JobCheck ranges = CheckJobRanges(loaded); !ranges.ok) {
    // A file edited by hand: nothing of it is taken.
    ShowMessageBox(this, path + QStringLiteral(":\n") + ranges.message, BoxIcon::kWarning);
    return;
  }
  job_ = loaded;
  if (value_store_ != nullptr && !value_store_->Store(job_.data)) {
    AppendStatusLine(tr("Der Wert <%1> konnte nicht gespeichert werden: %2")
                         .arg(job_.data, settings_.FileName()));
  }
  ShowJob();
  UpdateInputLimit();
  EnableControls(true);
}

void CQuillmateDlg::OnSaveJob() {
  if (!TakeOver()) return;
  const QString path = ChooseJobFile(this, JobFileChoice::kSave);
  if (path.isEmpty()) return;
  const JobFileResult result = SaveJobFile(path, job_);
  if (!result.ok) ShowMessageBox(this, result.message, BoxIcon::kWarning);
}

// --- dialogs ---------------------------------------------------------------------------------------

void CQuillmateDlg::OnErase() {
  DeleteFields fields;
  fields.app_id = job_.app_id;
  fields.card_master_key = job_.card_key;
  fields.app_master_key = job_.app_key;
  CLoeschenDlg dialog(context_.handle, language_, fields, operator_settings_.show_keys, this);
  dialog.exec();
}

void CQuillmateDlg::OnSettings() {
  CBeepTimeDlg dialog(operations_->BeepTimeMs(), operations_->CyclePeriodMs(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  operations_->SetBeepTimeMs(dialog.BeepTimeMs());
  operations_->SetCyclePeriodMs(dialog.CyclePeriodMs());
  operator_settings_.beep_time_ms = operations_->BeepTimeMs();
  operator_settings_.cycle_period_ms = operations_->CyclePeriodMs();
  if (!settings_.SaveOperatorSettings(operator_settings_)) {
    AppendStatusLine(
        tr("Die Einstellungen konnten nicht gespeichert werden: %1").arg(settings_.FileName()));
  }
}

}  // namespace quillmate::ui
