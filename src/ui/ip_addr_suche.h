// "IP-Adressen": searches the local networks for network readers, lists the maker's readers in
// normal type and every other device that answered in red italics, hands a chosen reader back to
// the port choice, and opens the network settings of the selected entry.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include "ui/lan_entries.h"

class QListWidget;
class QPushButton;

namespace quillmate::ui {

class CIPAddrSuche : public QDialog {
  Q_OBJECT

 public:
  explicit CIPAddrSuche(QWidget *parent = nullptr);

  // The maker's reader selected when the dialog was closed with "Schliessen"; empty otherwise.
  const QString &ChosenEntry() const { return chosen_; }
  // Searches the networks and fills the list (done when the dialog is first shown). When nothing
  // answers, asks whether to search again; Cancel closes the dialog.
  void FillAddressList();
  // The list as shown, for tests.
  QList<FoundDevice> Devices() const { return devices_; }
  QListWidget *List() const { return list_; }

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  void OnChangeAddress();
  void OnClose();
  void UpdateButtons();

  QListWidget *list_;
  QPushButton *change_;
  QPushButton *close_;
  QList<FoundDevice> devices_;
  QString chosen_;
  bool searched_ = false;
};

}  // namespace quillmate::ui
