// CPortDlg ("Schnittstelle"): the operator chooses the reader's port from the serial ports, USB
// readers, network readers and Bluetooth readers present, or types a port the list does not show
// (a udev link, a pseudo-terminal), with the serial line settings, the
// reply timeout and the reader's bus address. It follows readers arriving and leaving (a udev
// monitor) with a refresh and four follow-up scans one second apart, switches a USB reader
// between HID and virtual COM mode, asks about missing drivers, and opens the IP search for
// network readers. What is not widgets lives in the core (writer/reader/port_choice.h).
#pragma once

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <array>

#include "writer/language/language.h"
#include "writer/reader/device_watch.h"
#include "writer/reader/port_choice.h"
#include "writer/settings/settings_store.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace quillmate::ui {

class CPortDlg : public QDialog {
  Q_OBJECT

 public:
  // The device-change events of the refresh: a device arrived, the device tree changed, or the
  // dialog asked for a refresh itself.
  static constexpr int kDeviceArrival = 0x8000;
  static constexpr int kDeviceTreeChanged = 7;
  static constexpr int kSelfRefresh = 24;

  // Takes the stored settings and checks the stored choice against the devices present
  // (CheckStoredChoice); Corrected() tells whether "Name" changed. `language` chooses the guide
  // that the missing-driver question opens.
  CPortDlg(const PortSettings &port, Language language, QWidget *parent = nullptr);
  ~CPortDlg() override;

  bool Corrected() const { return corrected_; }
  // The settings as the dialog holds them: after OK, what the operator chose.
  const PortSettings &Settings() const { return port_; }
  // The name to open: the current entry without its prefix, ":" and the bus address.
  QString GetPortName() const;

  // The refresh of the port list for one device-change event (re-entry is ignored).
  void RefreshPortList(int event);
  int FollowUps() const { return follow_ups_; }
  bool FollowUpPending() const { return follow_up_timer_.isActive(); }

  // --- for the tests --------------------------------------------------------------------------
  QListWidget *PortList() const { return list_; }
  QCheckBox *EthernetBox() const { return ethernet_; }
  QPushButton *IpSearchButton() const { return ip_search_; }
  QRadioButton *HidModeButton() const { return hid_mode_; }
  QRadioButton *VirtualComButton() const { return virtual_com_; }
  QComboBox *BaudList() const { return baud_; }
  QComboBox *ParityList() const { return parity_; }
  QComboBox *StopBitsList() const { return stop_bits_; }
  QLineEdit *TimeoutEdit() const { return timeout_; }
  QLineEdit *AddressEdit() const { return address_; }
  QLineEdit *PortEntry() const { return entry_; }
  const QString &CurrentName() const { return current_name_; }

 public slots:
  void accept() override;

 private:
  void BuildControls();
  void ShowSettings();
  // Reads the timeout, the address and "Ethernet aktivieren" with their checks; false (after
  // the message, with the field focused) when one is refused.
  bool ReadControls();
  void PostRefresh();
  // Fills the cached lists of every kind; true when one changed.
  bool FillAllLists();
  void RebuildList();
  void SelectCurrentName();
  void UpdateSerialControls();
  void UpdateModeButtons(const QString &name);
  // False after the question when drivers are missing.
  bool PromptMissingDrivers();
  void OpenDriverPage();
  void OnSelectionChanged();
  void OnPortTyped(const QString &text);
  void OnVirtualCom();
  void OnHidMode();
  void OnEthernet();
  void OnIpSearch();

  PortSettings port_;
  Language language_;
  bool corrected_ = false;
  QString current_name_;
  std::array<QStringList, kPortKinds> cached_;
  bool refreshing_ = false;
  int asked_missing_ = 0;  // the missing-driver flags the operator was asked about
  int follow_ups_ = 0;
  QTimer follow_up_timer_;
  DeviceWatch watch_;

  QListWidget *list_ = nullptr;
  QCheckBox *ethernet_ = nullptr;
  QPushButton *ip_search_ = nullptr;
  QRadioButton *hid_mode_ = nullptr;
  QRadioButton *virtual_com_ = nullptr;
  QComboBox *baud_ = nullptr;
  QComboBox *parity_ = nullptr;
  QComboBox *stop_bits_ = nullptr;
  QLineEdit *timeout_ = nullptr;
  QLineEdit *address_ = nullptr;
  QLineEdit *entry_ = nullptr;  // the chosen entry, or a port the operator typed
  bool typed_ = false;          // the entry holds what the operator typed (checked on OK)
};

// The main window's port chooser: the dialog, modal; true with `port` set after OK.
bool ChoosePortWithDialog(QWidget *parent, PortSettings &port, Language language);

}  // namespace quillmate::ui
