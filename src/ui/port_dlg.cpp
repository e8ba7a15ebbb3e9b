// CPortDlg ("Schnittstelle"): the operator's choice of the reader's port from what is present,
// or typed.
#include "ui/port_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>

#include "kovra.h"
#include "ui/background_call.h"
#include "ui/busy_guard.h"
#include "ui/field_label.h"
#include "ui/ip_addr_suche.h"
#include "ui/message_box.h"
#include "ui/number_field.h"
#include "ui/user_guide.h"

namespace quillmate::ui {
namespace {

constexpr int kMinTimeoutMs = 10;
constexpr int kMaxTimeoutMs = 300000;
constexpr int kMinAddress = 1;
constexpr int kMaxAddress = 255;
constexpr int kFollowUpMs = 1000;
constexpr int kLastFollowUp = 4;

}  // namespace

CPortDlg::CPortDlg(const PortSettings &port, Language language, QWidget *parent)
    : QDialog(parent), port_(port), language_(language) {
  setWindowTitle(tr("Schnittstelle"));
  if (port_.name.isEmpty()) {
    // The first start: the first serial port of the machine, as COM1 was.
    const QStringList serial = LibraryPortNames(PortKind::kSerial);
    port_.name = serial.isEmpty() ? QString() : serial.front();
    corrected_ = !port_.name.isEmpty();
  }
  corrected_ = CheckStoredChoice(port_) || corrected_;
  current_name_ = port_.name;
  BuildControls();
  follow_up_timer_.setSingleShot(true);
  connect(&follow_up_timer_, &QTimer::timeout, this, [this] { PostRefresh(); });
  connect(&watch_, &DeviceWatch::DevicesChanged, this, [this] { RefreshPortList(kDeviceArrival); });
}

CPortDlg::~CPortDlg() = default;

void CPortDlg::BuildControls() {
  auto *group = new QGroupBox(tr("Schnittstelle auswählen"), this);
  list_ = new QListWidget(group);
  list_->setObjectName(QStringLiteral("ports"));
  list_->setAccessibleName(group->title());
  list_->setMinimumWidth(420);
  ethernet_ = new QCheckBox(tr("Ethernet aktivieren"), group);
  ip_search_ = new QPushButton(QStringLiteral("IP ?"), group);
  ip_search_->setAutoDefault(false);
  hid_mode_ = new QRadioButton(tr("HID Mode"), group);
  virtual_com_ = new QRadioButton(tr("Virtual Com"), group);
  // The two are set by UpdateModeButtons only; a click is a request to switch.
  hid_mode_->setAutoExclusive(false);
  virtual_com_->setAutoExclusive(false);
  entry_ = new QLineEdit(group);
  entry_->setObjectName(QStringLiteral("portEntry"));
  entry_->setPlaceholderText(QStringLiteral("/dev/serial/by-id/..."));
  auto *group_layout = new QVBoxLayout(group);
  group_layout->addWidget(list_);
  auto *entry_row = new QHBoxLayout;
  entry_row->addWidget(FieldLabel(tr("Schnittstelle:"), entry_, group));
  entry_row->addWidget(entry_, 1);
  group_layout->addLayout(entry_row);
  auto *row = new QHBoxLayout;
  row->addWidget(ethernet_);
  row->addWidget(ip_search_);
  row->addStretch();
  row->addWidget(hid_mode_);
  row->addWidget(virtual_com_);
  group_layout->addLayout(row);

  baud_ = new QComboBox(this);
  baud_->addItems({QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"),
                   QStringLiteral("19200")});
  parity_ = new QComboBox(this);
  parity_->addItems({tr("keine"), tr("gerade"), tr("ungerade")});
  stop_bits_ = new QComboBox(this);
  stop_bits_->addItems({QStringLiteral("1"), QStringLiteral("2")});
  timeout_ = new QLineEdit(this);
  timeout_->setObjectName(QStringLiteral("timeout"));
  address_ = new QLineEdit(this);
  address_->setObjectName(QStringLiteral("address"));
  auto *fields = new QGridLayout;
  fields->addWidget(FieldLabel(tr("Baudrate"), baud_, this), 0, 0);
  fields->addWidget(baud_, 0, 1);
  fields->addWidget(FieldLabel(tr("Parität"), parity_, this), 1, 0);
  fields->addWidget(parity_, 1, 1);
  fields->addWidget(FieldLabel(tr("Stopbits:"), stop_bits_, this), 2, 0);
  fields->addWidget(stop_bits_, 2, 1);
  fields->addWidget(FieldLabel(tr("Timeout in [ms]"), timeout_, this), 0, 2);
  fields->addWidget(timeout_, 0, 3);
  fields->addWidget(FieldLabel(tr("Geräteadresse [dez.]"), address_, this), 1, 2);
  fields->addWidget(address_, 1, 3);

  auto *buttons = new QDialogButtonBox(this);
  buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(tr("Abbrechen"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CPortDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CPortDlg::reject);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(group, 1);
  layout->addLayout(fields);
  layout->addWidget(buttons);

  connect(list_, &QListWidget::itemSelectionChanged, this, &CPortDlg::OnSelectionChanged);
  connect(entry_, &QLineEdit::textEdited, this, &CPortDlg::OnPortTyped);
  connect(ethernet_, &QCheckBox::clicked, this, &CPortDlg::OnEthernet);
  connect(ip_search_, &QPushButton::clicked, this, &CPortDlg::OnIpSearch);
  connect(hid_mode_, &QRadioButton::clicked, this, &CPortDlg::OnHidMode);
  connect(virtual_com_, &QRadioButton::clicked, this, &CPortDlg::OnVirtualCom);
  ShowSettings();
}

void CPortDlg::ShowSettings() {
  const LineSetting line = DecodeLineSetting(port_.baud_rate);
  baud_->setCurrentIndex(baud_->findText(QString::number(line.baud)));
  parity_->setCurrentIndex(line.parity);
  stop_bits_->setCurrentIndex(line.stop_bits == 2 ? 1 : 0);
  timeout_->setText(QString::number(port_.timeout_ms));
  address_->setText(QString::number(port_.address));
  ethernet_->setChecked(port_.ethernet_active);

  if (!port_.ethernet_active) cached_[static_cast<size_t>(PortKind::kLan)].clear();
  for (const PortKind kind :
       {PortKind::kLan, PortKind::kBluetooth, PortKind::kUsb, PortKind::kSerial, PortKind::kPcsc}) {
    QStringList &cached = cached_[static_cast<size_t>(kind)];
    if (kind == PortKind::kLan && !port_.ethernet_active) continue;
    if (cached.isEmpty()) FillPortList(LibraryPortNames(kind), cached);
  }
  RebuildList();
  SelectCurrentName();
  if (list_->selectedItems().isEmpty()) {
    if (list_->count() == 1) {
      list_->setCurrentRow(0);
      current_name_ = list_->item(0)->text();
    } else {
      current_name_.clear();
    }
  }
  entry_->setText(current_name_);
  UpdateSerialControls();
  UpdateModeButtons(current_name_);
  ip_search_->setVisible(port_.ethernet_active);
  adjustSize();
  setMinimumSize(sizeHint());
  PostRefresh();
}

QString CPortDlg::GetPortName() const {
  return WithoutPrefix(current_name_) + QLatin1Char(':') + QString::number(port_.address);
}

void CPortDlg::PostRefresh() {
  QTimer::singleShot(0, this, [this] { RefreshPortList(kSelfRefresh); });
}

bool CPortDlg::FillAllLists() {
  bool changed = false;
  QStringList &network = cached_[static_cast<size_t>(PortKind::kLan)];
  if (!port_.ethernet_active) {
    changed = !network.isEmpty();
    network.clear();
  } else {
    changed = FillPortList(LibraryPortNames(PortKind::kLan), network);
  }
  for (const PortKind kind :
       {PortKind::kBluetooth, PortKind::kUsb, PortKind::kSerial, PortKind::kPcsc}) {
    changed = FillPortList(LibraryPortNames(kind), cached_[static_cast<size_t>(kind)]) || changed;
  }
  return changed;
}

void CPortDlg::RebuildList() {
  const QSignalBlocker quiet(list_);
  list_->clear();
  for (const PortKind kind :
       {PortKind::kSerial, PortKind::kUsb, PortKind::kLan, PortKind::kBluetooth, PortKind::kPcsc}) {
    for (const QString &name : cached_[static_cast<size_t>(kind)]) {
      list_->addItem(PrefixOf(kind) + name);
    }
  }
}

void CPortDlg::SelectCurrentName() {
  const QSignalBlocker quiet(list_);
  list_->clearSelection();
  if (current_name_.isEmpty()) return;
  for (int row = 0; row < list_->count(); ++row) {
    if (list_->item(row)->text().startsWith(current_name_, Qt::CaseInsensitive)) {
      list_->setCurrentRow(row);
      return;
    }
  }
}

void CPortDlg::RefreshPortList(int event) {
  if (refreshing_) return;
  refreshing_ = true;
  const bool scan = event == kDeviceArrival || event == kDeviceTreeChanged || event == kSelfRefresh;
  for (int pass = 0; pass < 2 && scan; ++pass) {
    if (FillAllLists()) RebuildList();
    SelectCurrentName();
    if (pass == 0 && PromptMissingDrivers()) break;
  }
  refreshing_ = false;
  UpdateModeButtons(current_name_);

  if (event == kDeviceArrival || event == kDeviceTreeChanged) {
    follow_ups_ = 1;
    follow_up_timer_.start(kFollowUpMs);
  } else if (follow_ups_ >= 1 && follow_ups_ <= kLastFollowUp) {
    ++follow_ups_;
    follow_up_timer_.start(kFollowUpMs);
  } else {
    follow_ups_ = 0;
  }
}

bool CPortDlg::PromptMissingDrivers() {
  const int missing = KOVRA_GetMissingDrivers();
  if (missing == 0) return true;
  // Asked once per dialog for the same missing drivers, not again on every follow-up scan.
  if (missing == asked_missing_) return false;
  asked_missing_ = missing;
  QString question;
  if (missing & KOVRA_MISSING_FTDI_DRIVER) {
    question += tr("Kein Ulo USB Treiber für Norva-1 installiert!") + QLatin1Char('\n');
  }
  if (missing & KOVRA_MISSING_VIRTUAL_COM_DRIVER) {
    question += tr("Kein Ulo USB Treiber für Norva-2 VCOM installiert!") + QLatin1Char('\n');
  }
  question += tr("Treiber laden und installieren?") + QLatin1Char('\n');
  if (ShowMessageBox(this, question, BoxIcon::kQuestion, BoxButtons::kYesNo) == BoxAnswer::kYes) {
    OpenDriverPage();
  }
  return false;
}

void CPortDlg::OpenDriverPage() {
  // On Linux the drivers come with the kernel; what an operator may miss are the udev rules and
  // the group, which the guide's troubleshooting chapter explains.
  const QString guide = FindUserGuide(UserGuideFolders(), language_);
  if (!guide.isEmpty()) OpenWithDesktop(QUrl::fromLocalFile(guide));
  PauseWithEvents(2000);
}

void CPortDlg::UpdateSerialControls() {
  const bool serial = !current_name_.isEmpty() && KindOfEntry(current_name_) == PortKind::kSerial;
  baud_->setEnabled(serial);
  parity_->setEnabled(serial);
  stop_bits_->setEnabled(serial);
}

void CPortDlg::UpdateModeButtons(const QString &name) {
  const bool hid = IsHidReaderEntry(name);
  const bool virtual_com = !hid && IsVirtualComEntry(name);
  hid_mode_->setEnabled(hid || virtual_com);
  virtual_com_->setEnabled(hid || virtual_com);
  hid_mode_->setChecked(hid);
  virtual_com_->setChecked(virtual_com);
}

void CPortDlg::OnSelectionChanged() {
  const QList<QListWidgetItem *> selected = list_->selectedItems();
  if (selected.isEmpty()) {
    UpdateModeButtons(QString());
    return;
  }
  current_name_ = selected.front()->text();
  entry_->setText(current_name_);
  typed_ = false;
  UpdateSerialControls();
  UpdateModeButtons(current_name_);
}

void CPortDlg::OnPortTyped(const QString &text) {
  typed_ = true;
  current_name_ = text.trimmed();
  const QList<QListWidgetItem *> selected = list_->selectedItems();
  if (!selected.isEmpty() && selected.front()->text() != current_name_) {
    const QSignalBlocker quiet(list_);
    list_->clearSelection();
  }
  UpdateSerialControls();
  UpdateModeButtons(current_name_);
}

void CPortDlg::OnVirtualCom() {
  BusyGuard busy;
  const QList<QListWidgetItem *> selected = list_->selectedItems();
  if (!selected.isEmpty()) {
    current_name_ = selected.front()->text();
    if (IsHidReaderEntry(current_name_)) {
      if (KOVRA_IsVirtualComDriverInstalled() != 0) {
        if (SwitchUsbMode(WithoutPrefix(current_name_), 2)) {
          current_name_.clear();
          PauseWithEvents(1000);
        }
      } else if (ShowMessageBox(this,
                                tr("Kein Ulo USB Treiber für Norva-2 VCOM installiert!") +
                                    QLatin1Char('\n') + tr("Treiber laden und installieren?") +
                                    QLatin1Char('\n'),
                                BoxIcon::kQuestion, BoxButtons::kYesNo) == BoxAnswer::kYes) {
        OpenDriverPage();
      }
    }
  }
  UpdateModeButtons(current_name_);
}

void CPortDlg::OnHidMode() {
  BusyGuard busy;
  const QList<QListWidgetItem *> selected = list_->selectedItems();
  if (!selected.isEmpty()) {
    current_name_ = selected.front()->text();
    if (IsVirtualComEntry(current_name_) && SwitchUsbMode(current_name_, 1)) {
      current_name_.clear();
      PauseWithEvents(1000);
    }
  }
  UpdateModeButtons(current_name_);
}

void CPortDlg::OnEthernet() {
  ReadControls();
  PostRefresh();
  ip_search_->setVisible(ethernet_->isChecked());
}

void CPortDlg::OnIpSearch() {
  CIPAddrSuche search(this);
  search.exec();
  QString entry = search.ChosenEntry();
  if (!entry.isEmpty()) {
    const qsizetype close = entry.indexOf(QLatin1Char(']'), 1);
    if (close > 0) entry = entry.left(close + 1);
    current_name_ = PrefixOf(PortKind::kLan) + entry;
  }
  PostRefresh();
}

bool CPortDlg::ReadControls() {
  const qint64 timeout = TakeUnsignedField(this, timeout_, kMinTimeoutMs, kMaxTimeoutMs);
  if (timeout < 0) return false;
  const qint64 address = TakeIntegerField(this, address_, kMinAddress, kMaxAddress);
  if (address < 0) return false;
  port_.timeout_ms = static_cast<int>(timeout);
  port_.address = static_cast<int>(address);
  port_.ethernet_active = ethernet_->isChecked();
  return true;
}

void CPortDlg::accept() {
  if (!ReadControls()) return;
  const QList<QListWidgetItem *> selected = list_->selectedItems();
  const QString typed = entry_->text().trimmed();
  if (typed_ && !typed.isEmpty() && (selected.isEmpty() || selected.front()->text() != typed)) {
    // A port the list does not show: checked now, so that a typing slip is named here and not
    // later as a reader that did not open.
    const QString problem = TypedPortProblem(typed);
    if (!problem.isEmpty()) {
      ShowMessageBox(this, problem, BoxIcon::kWarning);
      entry_->setFocus();
      entry_->selectAll();
      return;
    }
    current_name_ = typed;
  } else if (!selected.isEmpty()) {
    current_name_ = selected.front()->text();
  }
  port_.name = current_name_;
  if (baud_->currentIndex() >= 0) {
    LineSetting line;
    line.baud = baud_->currentText().toInt();
    line.parity = parity_->currentIndex();
    line.stop_bits = stop_bits_->currentIndex() == 1 ? 2 : 1;
    port_.baud_rate = EncodeLineSetting(line);
  }
  follow_up_timer_.stop();
  QDialog::accept();
}

bool ChoosePortWithDialog(QWidget *parent, PortSettings &port, Language language) {
  CPortDlg dialog(port, language, parent);
  if (dialog.exec() != QDialog::Accepted) {
    // Abbrechen keeps only the correction of a stored choice that is gone.
    if (dialog.Corrected()) port.name = dialog.Settings().name;
    return false;
  }
  port = dialog.Settings();
  return true;
}

}  // namespace quillmate::ui
