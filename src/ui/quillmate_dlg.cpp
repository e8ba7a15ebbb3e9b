// Building the window, connecting the reader, the menu, and closing.
#include "ui/quillmate_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "kovra.h"
#include "ui/about_dlg.h"
#include "ui/appearance.h"
#include "ui/busy_guard.h"
#include "ui/hex_edit.h"
#include "ui/lamp_panel.h"
#include "ui/message_box.h"
#include "ui/port_dlg.h"
#include "ui/status_box.h"
#include "ui/user_guide.h"
#include "writer/cards/card_calls.h"
#include "writer/job/job_source.h"
#include "writer/reader/reader_identity.h"
#include "writer/run/operations.h"
#include "writer/update/update_checker.h"

namespace quillmate::ui {
namespace {

// How often the window looks at its reader while no card operation runs.
constexpr int kReaderCheckMs = 1000;

}  // namespace

CQuillmateDlg::CQuillmateDlg(SettingsStore &settings, Language language, Beeper *beeper,
                             QWidget *parent)
    : QDialog(parent),
      settings_(settings),
      language_(language),
      context_(MakeWriterContext(0, this, language)) {
  JobSource source = LoadJobSource(settings_, QString());
  job_ = source.job;
  value_store_ = std::move(source.value_store);
  operator_settings_ = settings_.LoadOperatorSettings();
  operations_ = std::make_unique<CardOperations>(context_, job_, value_store_.get(), beeper);
  operations_->SetCyclePeriodMs(operator_settings_.cycle_period_ms);
  operations_->SetBeepTimeMs(operator_settings_.beep_time_ms);

  InitAppearance();
  setWindowTitle(QStringLiteral("KV-DESFire Quillmate"));
  setWindowIcon(QIcon(QStringLiteral(":/art/quillmate.svg")));
  // The window never closes by Enter; Escape closes it like "Schliessen".
  form_ = BuildMainWindowForm(this);
  for (QPushButton *button : findChildren<QPushButton *>()) button->setAutoDefault(false);
  BuildMenu();

  form_.log_write_file->setText(operator_settings_.logs.write_file);
  form_.log_read_file->setText(operator_settings_.logs.read_file);
  form_.log_write->setChecked(operator_settings_.logs.write_enabled);
  form_.log_read->setChecked(operator_settings_.logs.read_enabled);
  form_.verify_after_write->setChecked(operator_settings_.verify_after_write);
  form_.show_keys->setChecked(operator_settings_.show_keys);
  ShowKeys(operator_settings_.show_keys);
  ApplyLogSettings();

  base_title_ = windowTitle();
  ShowReaderState();
  ShowJob();
  FillAccessLists();
  UpdateInputLimit();
  EnableControls(true);
  ConnectSignals();

  if (!settings_.Readable()) AppendStatusLine(settings_.Problem());
  for (const QString &error : source.errors) AppendStatusLine(error);
  // The series' ledger from the start, so that a value typed before the first card is checked
  // against it; one that cannot be opened now is tried again before a card is written.
  if (settings_.Readable()) AttachLedger();
  cycle_timer_.setTimerType(Qt::PreciseTimer);
  connect(&cycle_timer_, &QTimer::timeout, this, &CQuillmateDlg::OnTick);
  choose_port_ = [this](QWidget *owner, PortSettings &port) {
    return ChoosePortWithDialog(owner, port, language_);
  };
  connect(&reader_timer_, &QTimer::timeout, this, &CQuillmateDlg::OnReaderTimer);
  reader_timer_.start(kReaderCheckMs);

  form_.data->setFocus();
  form_.data->end(false);
}

CQuillmateDlg::~CQuillmateDlg() {
  Shutdown();
  // QDialog's destructor hides the window, and a field losing the focus then would call a
  // handler of this object, which is gone by then.
  for (QObject *child : findChildren<QObject *>()) child->disconnect(this);
}

void CQuillmateDlg::BuildMenu() {
  QMenu *menu = form_.menu_bar->addMenu(tr("E&xtras"));
  menu->addAction(tr("Einstellungen"), this, &CQuillmateDlg::OnSettings);
  menu->addAction(tr("Schnittstelle wählen"), this, &CQuillmateDlg::OnChoosePort);
  menu->addAction(tr("Serie"), this, &CQuillmateDlg::OnSeries);
  menu->addSeparator();
  if (language_ != Language::kGerman) {
    menu->addAction(tr("Deutsch"), this, [this] { OnLanguage(Language::kGerman); });
  }
  if (language_ != Language::kEnglish) {
    menu->addAction(tr("Englisch"), this, [this] { OnLanguage(Language::kEnglish); });
  }
  menu->addSeparator();
  menu->addAction(tr("Inf&o über Quillmate ..."), this, &CQuillmateDlg::OnAbout);
}

QAction *CQuillmateDlg::MenuAction(const QString &text) const {
  for (QAction *action : form_.menu_bar->findChildren<QAction *>()) {
    if (action->text() == text) return action;
  }
  return nullptr;
}

void CQuillmateDlg::ConnectSignals() {
  const auto on_click = [this](QAbstractButton *button, void (CQuillmateDlg::*handler)()) {
    connect(button, &QAbstractButton::clicked, this, handler);
  };
  for (QRadioButton *button : {form_.no_number, form_.decimal, form_.hexadecimal}) {
    on_click(button, &CQuillmateDlg::OnNumberFormat);
  }
  on_click(form_.binary, &CQuillmateDlg::OnRepresentation);
  on_click(form_.ascii, &CQuillmateDlg::OnRepresentation);
  on_click(form_.leading_zeros, &CQuillmateDlg::OnAsciiOption);
  on_click(form_.prefix_allowed, &CQuillmateDlg::OnAsciiOption);
  connect(form_.length, &QLineEdit::editingFinished, this, &CQuillmateDlg::OnLengthLeft);
  connect(form_.data, &QLineEdit::editingFinished, this, &CQuillmateDlg::OnDataLeft);
  connect(form_.key_count, &QLineEdit::editingFinished, this, &CQuillmateDlg::OnKeyCountLeft);
  for (QComboBox *list :
       {form_.file_mode, form_.read.list, form_.write.list, form_.read_write.list}) {
    connect(list, &QComboBox::activated, this, &CQuillmateDlg::OnAccessChanged);
  }
  connect(form_.show_keys, &QPushButton::toggled, this, &CQuillmateDlg::ShowKeys);
  on_click(form_.read_single, &CQuillmateDlg::OnSingleRead);
  on_click(form_.write_single, &CQuillmateDlg::OnSingleWrite);
  // The cycle buttons follow their state, not the click: a screen reader or UI automation tool
  // toggles them through the accessibility interface without clicking.
  connect(form_.read_cycle, &QPushButton::toggled, this, &CQuillmateDlg::OnReadCycle);
  connect(form_.write_cycle, &QPushButton::toggled, this, &CQuillmateDlg::OnWriteCycle);
  connect(form_.choose_log_write, &QPushButton::clicked, this, [this] { OnChooseLogFile(true); });
  connect(form_.choose_log_read, &QPushButton::clicked, this, [this] { OnChooseLogFile(false); });
  // A log switched on is checked at once: its file must take the lines before a card is written.
  connect(form_.log_write, &QCheckBox::toggled, this, [this](bool on) {
    ApplyLogSettings();
    if (on) LogFileUsable(true);
  });
  connect(form_.log_read, &QCheckBox::toggled, this, [this](bool on) {
    ApplyLogSettings();
    if (on) LogFileUsable(false);
  });
  connect(form_.verify_after_write, &QCheckBox::toggled, this,
          [this](bool on) { operations_->SetVerifyAfterWrite(on); });
  connect(form_.reset_status, &QPushButton::clicked, form_.status, &QPlainTextEdit::clear);
  on_click(form_.load_job, &CQuillmateDlg::OnLoadJob);
  on_click(form_.save_job, &CQuillmateDlg::OnSaveJob);
  on_click(form_.erase, &CQuillmateDlg::OnErase);
  connect(form_.close, &QPushButton::clicked, this, &QDialog::reject);
  operations_->SetVerifyAfterWrite(form_.verify_after_write->isChecked());
}

void CQuillmateDlg::ShowKeys(bool in_clear) {
  operator_settings_.show_keys = in_clear;
  form_.show_keys->setIcon(QIcon(in_clear ? QStringLiteral(":/art/keys_shown.svg")
                                          : QStringLiteral(":/art/keys_hidden.svg")));
  for (CHexEdit *field : form_.KeyFields()) {
    field->setEchoMode(in_clear ? QLineEdit::Normal : QLineEdit::Password);
  }
}

void CQuillmateDlg::ApplyLogSettings() {
  operator_settings_.logs.write_enabled = form_.log_write->isChecked();
  operator_settings_.logs.read_enabled = form_.log_read->isChecked();
  operations_->SetLogSettings(operator_settings_.logs);
}

// --- the reader ------------------------------------------------------------------------------------

void CQuillmateDlg::SetTitle(const QString &reader_part) {
  setWindowTitle(base_title_ + QStringLiteral(" V") + QStringLiteral(QUILLMATE_VERSION) +
                 QStringLiteral(" <") + reader_part + QStringLiteral(">"));
}

CQuillmateDlg::ReaderState CQuillmateDlg::CurrentReaderState() const {
  const bool had_reader = reader_watch_ != nullptr;
  if (had_reader && reader_watch_->Lost()) return ReaderState::kLost;
  if (context_.handle <= 0) return had_reader ? ReaderState::kLost : ReaderState::kNone;
  // While a card operation waits for the reader the library is not asked again.
  if (!Busy() && ReaderLinkLost(context_.handle)) return ReaderState::kLost;
  return ReaderState::kConnected;
}

void CQuillmateDlg::ShowReaderState() {
  const ReaderState state = CurrentReaderState();
  // The title names a reader only while it can be used: a reader that is gone is not named.
  SetTitle(state == ReaderState::kConnected ? reader_text_ : QString());
  // The indicator's words are short, so that they never widen the window; the reader's name and
  // port are in its tooltip (and in the title while it is connected).
  QString text;
  QString details;
  switch (state) {
    case ReaderState::kConnected:
      text = tr("Leser verbunden");
      details = reader_text_;
      break;
    case ReaderState::kLost:
      text = tr("Verbindung zum Leser unterbrochen!");
      details = ReaderPortName(reader_port_);
      break;
    case ReaderState::kNone:
      text = tr("Kein Leser verbunden!");
      break;
  }
  if (form_.reader_state->text() == text && form_.reader_state->toolTip() == details) return;
  form_.reader_state->setText(text);
  form_.reader_state->setToolTip(details);
  form_.reader_state->setStyleSheet(state == ReaderState::kConnected
                                        ? QString()
                                        : QStringLiteral("color: #b00000; font-weight: bold;"));
}

void CQuillmateDlg::OnReaderTimer() {
  if (shut_down_ || Busy()) return;
  // A cycle watches its reader on its own ticks.
  if (reader_watch_ && operations_->RunningCycle() == Cycle::kNone &&
      CurrentReaderState() == ReaderState::kLost) {
    reader_watch_->Check(context_);
  }
  ShowReaderState();
}

void CQuillmateDlg::ClosePort() {
  if (context_.handle <= 0) return;
  if (KOVRA_ClosePort(context_.handle) != 0) {
    ShowMessageBox(this, LastErrorText(context_), BoxIcon::kWarning);
  }
  context_.handle = 0;
}

QString CQuillmateDlg::OpenFailureMessage(const OpenedReader &reader) {
  const QString cause = OpenFailureText(reader);
  // The first sentence says what most likely went wrong: another program is named only when the
  // port is in fact held by one.
  QString first;
  if (reader.open_result == KOVRA_OPEN_NO_READER) {
    first =
        tr("An diesem Port ist kein Leser angeschlossen.\nBitte wählen Sie eine andere "
           "Schnittstelle.");
  } else if (reader.open_result == KOVRA_OPEN_FAILED && reader.link_failure == KOVRA_LINK_BUSY) {
    first =
        tr("Fehler beim Öffnen des Ports. Bitte prüfen Sie, ob der Port bereits von einem "
           "anderen Programm belegt wird!");
  } else {
    first = tr("Fehler beim Öffnen des Ports.");
  }
  return first + QStringLiteral("\n\n") + cause;
}

bool CQuillmateDlg::ConnectReader(const PortSettings &port) {
  ClosePort();
  reader_watch_.reset();
  operations_->SetReaderWatch(nullptr);
  reader_port_ = PortSettings();
  ShowReaderState();
  const OpenedReader reader = OpenReader(port);
  if (!reader.ok()) {
    ShowMessageBox(this, OpenFailureMessage(reader), BoxIcon::kWarning);
    return false;
  }
  const ReaderIdentity identity = IdentifyReader(reader.handle);
  if (!identity.answered) {
    KOVRA_ClosePort(reader.handle);
    ShowMessageBox(
        this,
        tr("An diesem Port ist kein Leser angeschlossen.\nBitte wählen Sie eine "
           "andere Schnittstelle.") +
            QStringLiteral("\n\n") +
            tr("%1 hat auf die Frage nach der Version nicht geantwortet.").arg(reader.port_name),
        BoxIcon::kWarning);
    return false;
  }
  if (!identity.capable) {
    KOVRA_ClosePort(reader.handle);
    // Only the device number is written in capitals, the sentence stays as it is.
    ShowMessageBox(
        this,
        tr("Das gewählte Gerät <%1> hat nicht die benötigte Funktionalität!")
            .arg(QStringLiteral("%1").arg(identity.device_type, 3, 16, QLatin1Char('0')).toUpper()),
        BoxIcon::kWarning);
    return false;
  }
  context_.handle = reader.handle;
  device_name_ = identity.device_name;
  KOVRA_SetMode(reader.handle, 0);
  reader_watch_ = std::make_unique<ReaderWatch>(port);
  operations_->SetReaderWatch(reader_watch_.get());
  reader_port_ = port;
  reader_text_ = device_name_ + QLatin1Char(' ') +
                 (identity.usb ? QStringLiteral("USB:") : QString()) + reader.port_name +
                 QStringLiteral("  ") + identity.firmware;
  ShowReaderState();
  return true;
}

void CQuillmateDlg::ConnectAtStart() {
  PortSettings port = operator_settings_.port;
  // A stored USB, network or Bluetooth reader that is gone gives way to one of its kind present.
  if (CheckStoredChoice(port)) {
    operator_settings_.port = port;
    settings_.SaveOperatorSettings(operator_settings_);
  }
  if (!port.name.isEmpty() && ConnectReader(port)) return;
  while (choose_port_ && choose_port_(this, port)) {
    // The window was closed meanwhile (a termination signal): its port stays closed.
    if (shut_down_) return;
    operator_settings_.port = port;
    if (ConnectReader(port)) break;
  }
}

void CQuillmateDlg::OnChoosePort() {
  if (Busy() || operations_->RunningCycle() != Cycle::kNone) return;
  // The dialog may switch a USB reader's mode or talk to a network reader: the port is free
  // meanwhile. Whatever the operator does there, the window ends with a reader if it had one.
  const PortSettings previous = reader_port_;
  const bool had_reader = CurrentReaderState() == ReaderState::kConnected;
  ClosePort();
  reader_watch_.reset();
  operations_->SetReaderWatch(nullptr);
  ShowReaderState();
  PortSettings port = operator_settings_.port;
  bool connected = false;
  while (choose_port_ && choose_port_(this, port)) {
    // The window was closed meanwhile (a termination signal): its port stays closed.
    if (shut_down_) return;
    operator_settings_.port = port;
    if (!settings_.SaveOperatorSettings(operator_settings_)) {
      AppendStatusLine(
          tr("Die Einstellungen konnten nicht gespeichert werden: %1").arg(settings_.FileName()));
    }
    connected = ConnectReader(port);
    if (connected) break;
  }
  if (shut_down_) return;
  if (!connected && had_reader) {
    // Cancelled: the reader in use before is opened again, and a write goes on as before.
    ConnectReader(previous);
  }
  EnableControls(true);
}

// --- menu entries ----------------------------------------------------------------------------------

void CQuillmateDlg::OnLanguage(Language language) {
  if (Busy() || operations_->RunningCycle() != Cycle::kNone) return;
  operator_settings_.language = language;
  done(kLanguageSwitchResult);
}

void CQuillmateDlg::OnAbout() {
  CAboutDlg about(this, update_checker_, operator_settings_.update_check);
  const int result = about.exec();
  if (update_checker_ && about.AutomaticCheck() != operator_settings_.update_check) {
    operator_settings_.update_check = about.AutomaticCheck();
    settings_.SaveOperatorSettings(operator_settings_);
  }
  if (result == CAboutDlg::kUpdateStarted) {
    // The package installer replaces the program: it ends as it would by its close button.
    close();
    return;
  }
  if (operations_->RunningCycle() == Cycle::kNone) EnableControls(true);
}

void CQuillmateDlg::SetUpdateChecker(UpdateChecker *checker) {
  update_checker_ = checker;
  if (!checker || !operator_settings_.update_check) return;
  auto connection = std::make_shared<QMetaObject::Connection>();
  *connection = connect(checker, &UpdateChecker::ListReady, this, [this, checker, connection] {
    QObject::disconnect(*connection);
    if (IsUpdateAvailable(checker->List(), checker->OwnVersion(), checker->OwnBuild())) {
      ShowUpdateNoticeWhenIdle();
    }
  });
  checker->StartListDownload();
}

namespace {
// How often a held update notice looks whether the window has become idle.
constexpr int kUpdateNoticeRetryMs = 500;
}  // namespace

void CQuillmateDlg::ShowUpdateNoticeWhenIdle() {
  if (shut_down_ || pending_result_ >= 0) return;
  // The about box is modal: opened while a card operation waits for the reader or a cycle runs,
  // it would hold the card work up until someone closes it. It waits for a quiet moment instead,
  // also for any other dialog the operator has open to close.
  const QWidget *modal = QApplication::activeModalWidget();
  if (Busy() || operations_->RunningCycle() != Cycle::kNone ||
      (modal != nullptr && modal != this)) {
    QTimer::singleShot(kUpdateNoticeRetryMs, this, &CQuillmateDlg::ShowUpdateNoticeWhenIdle);
    return;
  }
  OnAbout();
}

void CQuillmateDlg::OnHelp() {
  OpenUserGuide(this, language_);
}

void CQuillmateDlg::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_F1) {
    OnHelp();
    return;
  }
  if (event->key() == Qt::Key_Escape && !ConfirmCloseDuringCycle()) return;
  QDialog::keyPressEvent(event);
}

bool CQuillmateDlg::ConfirmCloseDuringCycle() {
  if (operations_->RunningCycle() == Cycle::kNone) return true;
  if (Busy()) {
    // The library waits for the reader inside a tick: no question may wait on top of it. The
    // cycle stops instead, and the window stays open.
    StopCycle();
    AppendStatusLine(tr("Der Zyklus wurde beendet. Zum Schliessen noch einmal Escape drücken."));
    return false;
  }
  // No card is started while the operator decides.
  cycle_timer_.stop();
  const bool close =
      ShowMessageBox(this, tr("Ein Zyklus läuft. Zyklus beenden und Quillmate schliessen?"),
                     BoxIcon::kQuestion, BoxButtons::kYesNo) == BoxAnswer::kYes;
  if (!close && operations_->RunningCycle() != Cycle::kNone) {
    cycle_timer_.start(operations_->RunningPeriodMs());
  }
  return close;
}

// --- closing ---------------------------------------------------------------------------------------

bool CQuillmateDlg::Busy() const {
  return BusyGuard::Busy() || operations_->InTick();
}

void CQuillmateDlg::closeEvent(QCloseEvent *event) {
  // The window manager's close button: the same as "Schliessen", after the question when a cycle
  // runs.
  event->ignore();
  if (!ConfirmCloseDuringCycle()) return;
  reject();
}

void CQuillmateDlg::done(int result) {
  if (Busy()) {
    // A library call is still waiting for the reader below us: the window closes when it ends.
    pending_result_ = result;
    if (operations_->RunningCycle() != Cycle::kNone) StopCycle();
    return;
  }
  Shutdown();
  QDialog::done(result);
}

void CQuillmateDlg::FinishPendingClose() {
  if (pending_result_ < 0 || Busy()) return;
  const int result = pending_result_;
  pending_result_ = -1;
  done(result);
}

void CQuillmateDlg::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  TakeOverQuietly();
  // The fields lose the focus as the window goes: no handler may change the job after it is saved.
  exchanging_ = true;
  cycle_timer_.stop();
  operations_->StopCycle();
  // The series' value is the store's: another program on the same settings may have counted on
  // since this window last looked, and its old value saved now would be given out again.
  DesfireSet to_save = job_;
  if (value_store_ != nullptr) {
    value_store_->Update([&to_save](const QString &stored) -> std::optional<QString> {
      to_save.data = stored;
      return std::nullopt;
    });
  }
  const bool job_saved = settings_.SaveJob(to_save);
  const bool settings_saved = settings_.SaveOperatorSettings(operator_settings_);
  ClosePort();
  if ((!job_saved || !settings_saved) && settings_.Readable()) {
    ShowMessageBox(
        this,
        tr("Die Einstellungen konnten nicht gespeichert werden: %1").arg(settings_.FileName()),
        BoxIcon::kWarning);
  }
}

// --- FrontEnd --------------------------------------------------------------------------------------

void CQuillmateDlg::AppendStatusLine(const QString &line) {
  AppendStatus(form_.status, line);
}

QStringList CQuillmateDlg::StatusLines() const {
  return StatusBoxLines(form_.status);
}

FrontEnd::Answer CQuillmateDlg::AskRetryCancel(const QString &question) {
  return ShowMessageBox(this, question, BoxIcon::kQuestion, BoxButtons::kRetryCancel) ==
                 BoxAnswer::kRetry
             ? Answer::kRetry
             : Answer::kCancel;
}

void CQuillmateDlg::ShowMessage(const QString &text) {
  ShowMessageBox(this, text, BoxIcon::kWarning);
}

void CQuillmateDlg::ShowLamp(Lamp lamp) {
  form_.lamps->ShowLamp(lamp);
}

void CQuillmateDlg::ShowData(const QString &text) {
  // A value longer than the field's input limit (one that no longer fits the file) is shown
  // whole: cut by the field, it would read as another value.
  if (text.size() > form_.data->maxLength())
    form_.data->setMaxLength(static_cast<int>(text.size()));
  form_.data->setText(text);
}

}  // namespace quillmate::ui
