// "LAN Einstellung": one network reader's settings. Reads them when it opens, lets the operator
// choose DHCP with a device name or a fixed address with subnet mask and gateway, writes them,
// and waits with a progress bar while the reader restarts on its new address.
#pragma once

#include <QDialog>
#include <QString>

#include "ui/lan_entries.h"

class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace quillmate::ui {

class CLanConfig : public QDialog {
  Q_OBJECT

 public:
  // The longest device name the dialog takes.
  static constexpr int kMaxDeviceNameChars = 15;
  // How long the dialog waits for the reader to answer on its new address.
  static constexpr int kRestartWaitMs = 25000;

  // `reader` is a search entry: "192.168.1.50-10001" or "[NAME]192.168.1.77-10001".
  explicit CLanConfig(QString reader, QWidget *parent = nullptr);

  // The reader's address as it is now (the new specification after a successful write).
  const QString &ReaderAddress() const { return reader_; }
  const ReaderNetworkSettings &Settings() const { return settings_; }

  // Reads the reader's settings into the fields; false, fields unchanged, when it does not answer.
  bool LoadReaderSettings();

  // The controls, for tests.
  QRadioButton *DhcpButton() const { return dhcp_; }
  QRadioButton *FixedButton() const { return fixed_; }
  QLineEdit *NameEdit() const { return name_; }
  QLineEdit *DhcpPortEdit() const { return dhcp_port_; }
  QLineEdit *AddressEdit() const { return address_; }
  QLineEdit *FixedPortEdit() const { return fixed_port_; }
  QLineEdit *MaskEdit() const { return mask_; }
  QLineEdit *GatewayEdit() const { return gateway_; }

 public slots:
  void accept() override;

 private:
  void ShowSettings();
  // The fields into settings_; false after a refused field (message shown, focus on it).
  bool ReadFields();
  void EnableForMode();
  void SetWriting(bool writing);

  QString reader_;
  ReaderNetworkSettings settings_;
  QRadioButton *dhcp_;
  QRadioButton *fixed_;
  QLineEdit *name_;
  QLineEdit *dhcp_port_;
  QLineEdit *address_;
  QLineEdit *fixed_port_;
  QLineEdit *mask_;
  QLineEdit *gateway_;
  QProgressBar *progress_;
  QPushButton *ok_;
  QPushButton *cancel_;
};

}  // namespace quillmate::ui
