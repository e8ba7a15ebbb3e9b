// The operator's window: the write job in its fields, the open reader, the status box, the single
// and cyclic card operations, job files, log files, the format/delete dialog, and the menu with
// the settings, the port choice, the language switch and the about box. All card work is done by
// the writer core (CardOperations); the window takes its fields over into the job, starts the
// core's operations and shows what the core reports through the FrontEnd it implements.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "ui/main_window_form.h"
#include "writer/cards/writer_context.h"
#include "writer/front_end.h"
#include "writer/job/desfire_set.h"
#include "writer/language/language.h"
#include "writer/reader/reader_port.h"
#include "writer/run/operations.h"
#include "writer/settings/settings_store.h"

class QAction;

namespace quillmate {
class UpdateChecker;
}

namespace quillmate::ui {

// The dialog's result that makes the application open the window again in the language just
// stored in "Sprache".
inline constexpr int kLanguageSwitchResult = 10;

// Asks the operator for a reader port; false when the operator cancels. Replaced by the port
// selection dialog, and by tests.
using PortChooser = std::function<bool(QWidget *parent, PortSettings &port)>;

class CQuillmateDlg : public QDialog, public FrontEnd {
  Q_OBJECT

 public:
  // Loads the job and the operator settings from `settings`, which outlives the window. `beeper`
  // may be null (no tone). No reader is opened yet: ConnectAtStart() does that.
  CQuillmateDlg(SettingsStore &settings, Language language, Beeper *beeper,
                QWidget *parent = nullptr);
  ~CQuillmateDlg() override;

  // Opens the reader stored in the "Port" settings; while that fails, asks for another port until
  // one connects or the operator cancels (the window then works without a reader).
  void ConnectAtStart();
  // Opens and identifies the reader of `port` and names it in the window title and the reader
  // indicator. A failure is shown in a message box and leaves the window without a reader (the
  // title ends in " <>").
  bool ConnectReader(const PortSettings &port);
  void SetPortChooser(PortChooser chooser) { choose_port_ = std::move(chooser); }
  // The update check the about box shows; with "Update" set, the list is downloaded now and a
  // newer version opens the about box as soon as the window is idle (no card operation, no
  // cycle, no other dialog open). Null: no update check.
  void SetUpdateChecker(UpdateChecker *checker);

  // --- for the tests: what the window holds -------------------------------------------------------
  const MainWindowForm &Form() const { return form_; }
  const DesfireSet &Job() const { return job_; }
  int PortHandle() const { return context_.handle; }
  const CardOperations &Operations() const { return *operations_; }
  QAction *MenuAction(const QString &text) const;
  // Lines of the status box.
  QStringList StatusLines() const;
  // What the window knows of its reader now: none connected, connected, or connected once and its
  // link lost (the window opens it again every 2 s and says so when it is back).
  enum class ReaderState { kNone, kConnected, kLost };
  ReaderState CurrentReaderState() const;

  // --- FrontEnd -------------------------------------------------------------------------------------
  void AppendStatusLine(const QString &line) override;
  Answer AskRetryCancel(const QString &question) override;
  void ShowMessage(const QString &text) override;
  void ShowLamp(Lamp lamp) override;
  void ShowData(const QString &text) override;

 public slots:
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

 private:
  // Building.
  void BuildMenu();
  void ConnectSignals();
  void ShowKeys(bool in_clear);
  // Field exchange: the fields into the job (false after the refusal has been shown and the
  // field focused) and the job into the fields.
  bool TakeOver();
  void TakeOverQuietly();
  void ShowJob();
  void ShowData();
  void FillAccessLists();
  void UpdateInputLimit();
  void EnableControls(bool on);
  void ShowRefusal(const JobCheck &check);
  // The job's number format or representation was `format` / `representation` before the fields
  // were taken over: the series' value follows, keeping its number.
  void FollowFormatChange(NumberFormat format, Representation representation);
  void FocusField(JobField field, bool select_all);
  // Handlers.
  void OnNumberFormat();
  void OnRepresentation();
  void OnAsciiOption();
  void OnLengthLeft();
  void OnDataLeft();
  void OnKeyCountLeft();
  void OnAccessChanged();
  void OnSingleWrite();
  void OnSingleRead();
  void OnWriteCycle(bool on);
  void OnReadCycle(bool on);
  void OnTick();
  void OnChooseLogFile(bool write_log);
  void OnLoadJob();
  void OnSaveJob();
  void OnErase();
  void OnSettings();
  void OnChoosePort();
  void OnLanguage(Language language);
  void OnAbout();
  // "Serie": the series view of the series the window writes (quillmate_dlg_series.cpp).
  void OnSeries();
  // Opens the about box for a newer version once no card operation, cycle or other dialog runs.
  void ShowUpdateNoticeWhenIdle();
  void OnHelp();
  // The operator typed `typed` into the data field: the series goes on from it, after a question
  // when the series has given it out already. False when the operator keeps the series' value.
  bool TakeTypedValue(const QString &typed);
  // The series' ledger for the job as it stands (opened on first use, its series following the
  // job's application and file): false after a status line when it cannot be opened or read, and
  // the card is not written. True at once for a job that does not count.
  bool AttachLedger();
  // With a counting series: whether the series may go on from `typed`, a value the ledger holds
  // (after the question naming the card that got it; false also when the ledger failed); nullopt
  // when the ledger does not hold it or is not used, the numbers then telling what was given out.
  std::optional<bool> TypedValueFreeInLedger(const QString &typed, const QString &next);
  // Logging is on: its file can be written (its folder made on the operator's word). False, with
  // the logging switched off, after saying why not.
  bool LogFileUsable(bool write_log);
  // A card's log line failed in the operation just run: a message box says so.
  void ShowLogFailure();
  // Cycles.
  bool StartCycle(Cycle cycle);
  // Puts a cycle button's state back without running its handler.
  void SetCycleButton(QPushButton *button, bool on);
  void StopCycle();
  bool ConfirmRisks();
  // True while a card operation runs (a single one or a cycle's tick).
  bool Busy() const;
  // The window was asked to close while a card operation ran: it closes when the operation ends.
  void FinishPendingClose();
  void Shutdown();
  void ClosePort();
  void ApplyLogSettings();
  void SetTitle(const QString &reader_part);
  // The message box text for a reader that did not open: the likely cause first, then the core's
  // reason (OpenFailureText).
  static QString OpenFailureMessage(const OpenedReader &reader);
  // The title and the reader indicator as CurrentReaderState() finds them.
  void ShowReaderState();
  // Every second while no card operation runs: notices a reader whose link went down, opens it
  // again when its time has come, and keeps the title and the indicator true.
  void OnReaderTimer();
  // Escape or the window manager's close while a cycle runs: true when the operator agrees to end
  // the cycle and close.
  bool ConfirmCloseDuringCycle();

  SettingsStore &settings_;
  Language language_;
  OperatorSettings operator_settings_;
  DesfireSet job_;
  std::unique_ptr<ValueStore> value_store_;
  WriterContext context_;
  std::unique_ptr<CardOperations> operations_;
  std::unique_ptr<SeriesLedger> series_ledger_;
  QString ledger_series_;  // the series the operations are attached to
  std::unique_ptr<ReaderWatch> reader_watch_;
  MainWindowForm form_;
  QTimer cycle_timer_;
  QString base_title_;
  QString device_name_;
  QString reader_text_;       // "name port  firmware" of the reader connected last
  PortSettings reader_port_;  // its port; empty name: no reader was connected
  QTimer reader_timer_;
  PortChooser choose_port_;
  UpdateChecker *update_checker_ = nullptr;
  bool exchanging_ = false;  // a field exchange runs (its message box must not start another)
  int pending_result_ = -1;  // the result to close with once the card operation ends
  bool shut_down_ = false;
};

}  // namespace quillmate::ui
