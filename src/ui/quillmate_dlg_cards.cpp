// The window's card work (single operations and cycles), the job and log files, and the dialogs
// behind "Löschen" and "Einstellungen".
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui/beep_time_dlg.h"
#include "ui/busy_guard.h"
#include "ui/file_choices.h"
#include "ui/lamp_panel.h"
#include "ui/loeschen_dlg.h"
#include "ui/message_box.h"
#include "ui/quillmate_dlg.h"
#include "writer/cards/format_delete.h"
#include "writer/job/job_file.h"
#include "writer/job/job_risks.h"
#include "writer/reader/reader_port.h"
#include "writer/records/card_log.h"
#include "writer/run/series_summary.h"

namespace quillmate::ui {

void CQuillmateDlg::OnSingleWrite() {
  if (Busy()) return;
  form_.status->clear();
  if (!TakeOver()) return;
  if (!LogFileUsable(true)) return;
  if (!AttachLedger()) return;
  {
    BusyGuard busy;
    const RunResult result = operations_->SingleWrite();
    ShowRefusal(result.check);
    // After a success the field shows the next value; after a failure the value is unchanged.
    ShowData();
  }
  ShowLogFailure();
  FinishPendingClose();
}

void CQuillmateDlg::OnSingleRead() {
  if (Busy()) return;
  form_.status->clear();
  if (!TakeOver()) return;
  if (!LogFileUsable(false)) return;
  {
    BusyGuard busy;
    const RunResult result = operations_->SingleRead();
    ShowRefusal(result.check);
    ShowData();
  }
  ShowLogFailure();
  FinishPendingClose();
}

void CQuillmateDlg::SetCycleButton(QPushButton *button, bool on) {
  const QSignalBlocker quiet(button);
  button->setChecked(on);
}

void CQuillmateDlg::OnWriteCycle(bool on) {
  const bool running = operations_->RunningCycle() == Cycle::kWrite;
  if (on == running) return;
  if (!on) {
    StopCycle();
    return;
  }
  if (!StartCycle(Cycle::kWrite)) SetCycleButton(form_.write_cycle, false);
}

void CQuillmateDlg::OnReadCycle(bool on) {
  const bool running = operations_->RunningCycle() == Cycle::kRead;
  if (on == running) return;
  if (!on) {
    StopCycle();
    return;
  }
  if (!StartCycle(Cycle::kRead)) SetCycleButton(form_.read_cycle, false);
}

bool CQuillmateDlg::ConfirmRisks() {
  const QStringList risks = JobRisks(job_, kCycleLookAheadCards);
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
  if (!LogFileUsable(cycle == Cycle::kWrite)) return false;
  if (cycle == Cycle::kWrite && !ConfirmRisks()) return false;
  if (cycle == Cycle::kWrite && !AttachLedger()) return false;
  const JobCheck check =
      cycle == Cycle::kWrite ? operations_->StartWriteCycle() : operations_->StartReadCycle();
  if (!check.ok) {
    ShowRefusal(check);
    return false;
  }
  EnableControls(false);
  QPushButton *button = cycle == Cycle::kWrite ? form_.write_cycle : form_.read_cycle;
  button->setEnabled(true);
  SetCycleButton(button, true);
  form_.lamps->ShowCounts(operations_->Counts());
  form_.lamps->show();
  cycle_timer_.start(operations_->RunningPeriodMs());
  return true;
}

void CQuillmateDlg::StopCycle() {
  const bool was_running = cycle_timer_.isActive();
  cycle_timer_.stop();
  operations_->StopCycle();
  if (was_running) {
    // The same numbers the command line prints at the end of a series.
    AppendStatusLine(SeriesSummary(operations_->Counts(), SummaryWording::kOperator));
  }
  SetCycleButton(form_.write_cycle, false);
  SetCycleButton(form_.read_cycle, false);
  // Stopped from inside a tick (the click came while the library waited for the reader): the
  // tick still works on the job, so the controls that change it come back when the tick ends.
  if (!operations_->InTick()) EnableControls(true);
}

void CQuillmateDlg::OnTick() {
  if (operations_->InTick() || BusyGuard::Busy()) return;
  operations_->Tick();
  form_.lamps->ShowCounts(operations_->Counts());
  // The cycle was stopped during the tick, or ended in the core (a series whose value outgrew
  // the file, a card whose log line failed).
  if (operations_->RunningCycle() == Cycle::kNone) {
    StopCycle();
    ShowLogFailure();
  }
  FinishPendingClose();
}

// --- files -----------------------------------------------------------------------------------------

void CQuillmateDlg::ShowLogFailure() {
  if (operations_->LogFailure().isEmpty()) return;
  // A card left without its record: the operator must see it, not only the status box.
  ShowMessageBox(this, operations_->LogFailure(), BoxIcon::kCritical);
}

bool CQuillmateDlg::LogFileUsable(bool write_log) {
  QCheckBox *enabled = write_log ? form_.log_write : form_.log_read;
  if (!enabled->isChecked()) return true;
  const QString file =
      write_log ? operator_settings_.logs.write_file : operator_settings_.logs.read_file;
  LogFileCheck check = CheckLogFile(file);
  if (check.problem == LogFileCheck::Problem::kFolderMissing) {
    const QString question = check.message + QStringLiteral("\n\n") + tr("Den Ordner anlegen?");
    if (ShowMessageBox(this, question, BoxIcon::kQuestion, BoxButtons::kYesNo) == BoxAnswer::kYes) {
      if (!MakeLogFolder(file)) {
        check.message = tr("Der Ordner <%1> konnte nicht angelegt werden!").arg(check.folder);
      } else {
        check = CheckLogFile(file);
      }
    }
  }
  if (check.ok()) return true;
  // Without a file that takes the lines, cards would leave without their record: the log is
  // switched off, and the operator decides what to do.
  {
    const QSignalBlocker quiet(enabled);
    enabled->setChecked(false);
  }
  ApplyLogSettings();
  const QString line = check.message + QLatin1Char(' ') +
                       (write_log ? tr("\"Schreiben protokollieren\" ist ausgeschaltet.")
                                  : tr("\"Lesen protokollieren\" ist ausgeschaltet."));
  AppendStatusLine(line);
  ShowMessageBox(this, line, BoxIcon::kWarning);
  return false;
}

void CQuillmateDlg::OnChooseLogFile(bool write_log) {
  QLineEdit *shown = write_log ? form_.log_write_file : form_.log_read_file;
  const QString chosen = ChooseLogFile(this, write_log, shown->text());
  if (chosen.isEmpty()) return;
  (write_log ? operator_settings_.logs.write_file : operator_settings_.logs.read_file) = chosen;
  shown->setText(chosen);
  ApplyLogSettings();
  LogFileUsable(write_log);
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
  // The file's value becomes the series' next one like a typed value: one the series has given
  // out already only on the operator's word.
  if (!TakeTypedValue(loaded.data)) job_.data = operations_->StoredSeriesNext();
  ShowJob();
  UpdateInputLimit();
  EnableControls(true);
}

void CQuillmateDlg::OnSaveJob() {
  if (!TakeOver()) return;
  const QString path = ChooseJobFile(this, JobFileChoice::kSave);
  if (path.isEmpty()) return;
  // The file holds the series' next value, never a value the field shows after a read: loaded
  // again, it would put that card's value on the next one.
  DesfireSet to_save = job_;
  to_save.data = operations_->StoredSeriesNext();
  const JobFileResult result = SaveJobFile(path, to_save);
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
