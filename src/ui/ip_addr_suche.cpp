// "IP-Adressen": the search of the local networks for network readers and the list of what
// answered.
#include "ui/ip_addr_suche.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <vector>

#include "kovra.h"
#include "ui/background_call.h"
#include "ui/lan_config_dlg.h"
#include "ui/message_box.h"

namespace quillmate::ui {
namespace {

// Room for the search results; a search that finds more lists those that fit.
constexpr int kSearchBufferSize = 2500;

QStringList Search(int (*search)(char *, int)) {
  std::vector<char> buffer(kSearchBufferSize, '\0');
  int used = 0;
  RunInBackground([&] { used = search(buffer.data(), kSearchBufferSize); });
  return used > 1 ? SearchBufferEntries(buffer.data(), used) : QStringList{};
}

}  // namespace

CIPAddrSuche::CIPAddrSuche(QWidget *parent) : QDialog(parent) {
  setWindowTitle(tr("IP-Adressen"));
  auto *layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setMinimumSize(360, 200);
  list_->setAccessibleName(windowTitle());
  layout->addWidget(list_);
  auto *buttons = new QHBoxLayout;
  change_ = new QPushButton(tr("IP-Adresse ändern"), this);
  close_ = new QPushButton(tr("Schliessen"), this);
  close_->setDefault(true);
  buttons->addWidget(change_);
  buttons->addStretch();
  buttons->addWidget(close_);
  layout->addLayout(buttons);
  connect(list_, &QListWidget::itemSelectionChanged, this, &CIPAddrSuche::UpdateButtons);
  connect(change_, &QPushButton::clicked, this, &CIPAddrSuche::OnChangeAddress);
  connect(close_, &QPushButton::clicked, this, &CIPAddrSuche::OnClose);
  UpdateButtons();
}

void CIPAddrSuche::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (searched_) return;
  searched_ = true;
  // After the first paint, so the operator sees the dialog while it searches.
  QTimer::singleShot(0, this, &CIPAddrSuche::FillAddressList);
}

void CIPAddrSuche::FillAddressList() {
  setEnabled(false);
  list_->clear();
  for (;;) {
    devices_ = MergeSearchResults(Search(KOVRA_ListLanPorts), Search(KOVRA_SearchLanDevices));
    if (!devices_.isEmpty()) break;
    if (ShowMessageBox(this,
                       tr("Keine Geräte gefunden!\nBitte prüfen Sie die Firewall-Einstellungen!\n"
                          "Evtl. muss das Programm manuell in der Firewall freigegeben werden."),
                       BoxIcon::kWarning, BoxButtons::kRetryCancel) != BoxAnswer::kRetry) {
      setEnabled(true);
      reject();
      return;
    }
  }
  for (const FoundDevice &device : devices_) {
    auto *item = new QListWidgetItem(device.text, list_);
    if (device.mark == DeviceMark::kOtherDevice) {
      // Another maker's device answering the same protocol: shown, never handed back.
      item->setForeground(QColor(255, 0, 0));
      QFont italic = list_->font();
      italic.setItalic(true);
      item->setFont(italic);
    }
  }
  setEnabled(true);
  UpdateButtons();
}

void CIPAddrSuche::UpdateButtons() {
  change_->setEnabled(list_->currentItem() != nullptr && list_->currentItem()->isSelected());
}

void CIPAddrSuche::OnChangeAddress() {
  const int row = list_->currentRow();
  if (row < 0 || row >= devices_.size()) return;
  CLanConfig settings(devices_[row].text, this);
  if (settings.exec() != QDialog::Accepted) return;
  QTimer::singleShot(300, this, &CIPAddrSuche::FillAddressList);
}

void CIPAddrSuche::OnClose() {
  const int row = list_->currentRow();
  if (row >= 0 && row < devices_.size() && list_->currentItem()->isSelected() &&
      devices_[row].mark == DeviceMark::kMakersReader) {
    chosen_ = devices_[row].text;
  }
  reject();
}

}  // namespace quillmate::ui
