// "LAN Einstellung": reading, editing and writing one network reader's settings.
#include "ui/lan_config_dlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "kovra.h"
#include "ui/background_call.h"
#include "ui/field_label.h"
#include "ui/message_box.h"

namespace quillmate::ui {
namespace {

// The library's texts of a reader's settings fit in 24 characters and their NUL.
constexpr int kSettingTextSize = 32;
constexpr int kMaxPortDigits = 5;
constexpr int kPingIntervalMs = 100;

QLineEdit *AddressField(QWidget *parent) {
  auto *field = new QLineEdit(parent);
  field->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{0,3}(\\.[0-9]{0,3}){0,3}")), field));
  field->setPlaceholderText(QStringLiteral("0.0.0.0"));
  return field;
}

QLineEdit *PortField(QWidget *parent) {
  auto *field = new QLineEdit(parent);
  field->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
  field->setMaxLength(kMaxPortDigits);
  return field;
}

}  // namespace

CLanConfig::CLanConfig(QString reader, QWidget *parent)
    : QDialog(parent), reader_(std::move(reader)) {
  setWindowTitle(tr("LAN Einstellung"));
  auto *layout = new QHBoxLayout(this);
  auto *grid = new QGridLayout;
  dhcp_ = new QRadioButton(tr("IP Adresse automatisch beziehen"), this);
  name_ = new QLineEdit(this);
  dhcp_port_ = PortField(this);
  fixed_ = new QRadioButton(tr("Folgende IP Adresse verwenden"), this);
  address_ = AddressField(this);
  fixed_port_ = PortField(this);
  mask_ = AddressField(this);
  gateway_ = AddressField(this);
  // The port fields stand behind "-" without a caption of their own.
  dhcp_port_->setAccessibleName(tr("Port"));
  fixed_port_->setAccessibleName(tr("Port"));
  grid->addWidget(dhcp_, 0, 0, 1, 4);
  grid->addWidget(FieldLabel(tr("DHCP Name:"), name_, this), 1, 0);
  grid->addWidget(name_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("-"), this), 1, 2);
  grid->addWidget(dhcp_port_, 1, 3);
  grid->addWidget(fixed_, 2, 0, 1, 4);
  grid->addWidget(FieldLabel(tr("IP-Adresse:"), address_, this), 3, 0);
  grid->addWidget(address_, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("-"), this), 3, 2);
  grid->addWidget(fixed_port_, 3, 3);
  grid->addWidget(FieldLabel(tr("Subnetzmaske:"), mask_, this), 4, 0);
  grid->addWidget(mask_, 4, 1);
  grid->addWidget(FieldLabel(tr("Gateway:"), gateway_, this), 5, 0);
  grid->addWidget(gateway_, 5, 1);
  auto *buttons = new QHBoxLayout;
  ok_ = new QPushButton(tr("OK"), this);
  cancel_ = new QPushButton(tr("Abbrechen"), this);
  ok_->setDefault(true);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  grid->addLayout(buttons, 6, 0, 1, 4);
  layout->addLayout(grid);
  progress_ = new QProgressBar(this);
  progress_->setOrientation(Qt::Vertical);
  progress_->setRange(0, kRestartWaitMs);
  progress_->setTextVisible(false);
  progress_->hide();
  layout->addWidget(progress_);
  connect(ok_, &QPushButton::clicked, this, &CLanConfig::accept);
  connect(cancel_, &QPushButton::clicked, this, &CLanConfig::reject);
  connect(dhcp_, &QRadioButton::clicked, this, [this] { ReadFields(); });
  connect(fixed_, &QRadioButton::clicked, this, [this] { ReadFields(); });
  LoadReaderSettings();
  ShowSettings();
}

bool CLanConfig::LoadReaderSettings() {
  char name[kSettingTextSize] = {};
  char address[kSettingTextSize] = {};
  char mask[kSettingTextSize] = {};
  char gateway[kSettingTextSize] = {};
  int result = -1;
  const QByteArray reader = reader_.toLatin1();
  RunInBackground(
      [&] { result = KOVRA_GetLanConfig(reader.constData(), name, address, mask, gateway); });
  if (result != 0) return false;
  settings_ = ParseReaderSettings(QString::fromLatin1(name), QString::fromLatin1(address),
                                  QString::fromLatin1(mask), QString::fromLatin1(gateway));
  ShowSettings();
  return true;
}

void CLanConfig::ShowSettings() {
  // A reader that did not answer leaves both modes unset and every field open.
  dhcp_->setAutoExclusive(false);
  dhcp_->setChecked(settings_.mode == 0);
  fixed_->setChecked(settings_.mode == 1);
  dhcp_->setAutoExclusive(true);
  name_->setText(settings_.device_name);
  address_->setText(settings_.address);
  const QString port = settings_.mode < 0 ? QString() : QString::number(settings_.port);
  dhcp_port_->setText(port);
  fixed_port_->setText(port);
  mask_->setText(settings_.mask);
  gateway_->setText(settings_.gateway);
  EnableForMode();
}

void CLanConfig::EnableForMode() {
  const bool known = settings_.mode >= 0;
  name_->setEnabled(!known || settings_.mode == 0);
  dhcp_port_->setEnabled(!known || settings_.mode == 0);
  address_->setEnabled(!known || settings_.mode == 1);
  fixed_port_->setEnabled(!known || settings_.mode == 1);
}

bool CLanConfig::ReadFields() {
  if (name_->text().size() > kMaxDeviceNameChars) {
    ShowMessageBox(this, tr("Geben Sie höchstens %1 Zeichen ein.").arg(kMaxDeviceNameChars),
                   BoxIcon::kWarning);
    name_->setFocus();
    name_->selectAll();
    return false;
  }
  settings_.mode = dhcp_->isChecked() ? 0 : fixed_->isChecked() ? 1 : settings_.mode;
  settings_.device_name = name_->text();
  settings_.address = address_->text();
  settings_.mask = mask_->text();
  settings_.gateway = gateway_->text();
  // The port of the chosen mode; without a mode neither is read, and 0 leaves it unchanged.
  if (settings_.mode == 0) {
    settings_.port = dhcp_port_->text().toInt();
  } else if (settings_.mode == 1) {
    settings_.port = fixed_port_->text().toInt();
  } else {
    settings_.port = 0;
  }
  EnableForMode();
  return true;
}

void CLanConfig::SetWriting(bool writing) {
  setEnabled(!writing);
  ok_->setVisible(!writing);
  cancel_->setVisible(!writing);
  progress_->setVisible(writing);
  progress_->setValue(0);
}

void CLanConfig::accept() {
  if (!ReadFields()) return;
  if (settings_.mode != 0 && !IsUsableAddress(settings_.address)) {
    ShowMessageBox(this, tr("Gültige IP Adresse eingeben!"), BoxIcon::kWarning);
    address_->setFocus();
    return;
  }
  const QString specification = AddressSpecification(settings_.mode, settings_.device_name,
                                                     settings_.address, settings_.port);
  SetWriting(true);
  int result = -1;
  const QByteArray reader = reader_.toLatin1();
  const QByteArray new_address = specification.toLatin1();
  const QByteArray mask = settings_.mask.toLatin1();
  const QByteArray gateway = settings_.gateway.toLatin1();
  RunInBackground([&] {
    result = KOVRA_SetLanConfig(reader.constData(), new_address.constData(), mask.constData(),
                                gateway.constData());
  });
  if (result != 0) {
    ShowMessageBox(this, tr("IP-Adresse, Subnetzmaske oder Gateway konnte nicht gesetzt werden!"),
                   BoxIcon::kWarning);
    LoadReaderSettings();
    SetWriting(false);
    return;
  }
  reader_ = specification;
  // The reader restarts on its new address: wait until it answers there, at most 25 s.
  QElapsedTimer waited;
  waited.start();
  bool answers = false;
  while (!answers && waited.elapsed() < kRestartWaitMs) {
    RunInBackground([&] { answers = KOVRA_PingLanDevice(new_address.constData()) == 1; });
    progress_->setValue(static_cast<int>(qMin<qint64>(waited.elapsed(), kRestartWaitMs)));
    if (!answers) PauseWithEvents(kPingIntervalMs);
  }
  SetWriting(false);
  QDialog::accept();
}

}  // namespace quillmate::ui
