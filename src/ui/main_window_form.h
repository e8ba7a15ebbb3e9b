// The controls of the main window, built and laid out in one place: the groups "Parameter",
// "Zahlenformat", "Darstellung", "Ausrichtung", "Konfiguration", "Daten", "Logdateien", the status
// box with its buttons, and the lamp panel beside them. The window's behaviour lives in
// CQuillmateDlg; this file only says what is where.
#pragma once

#include <QList>

class QCheckBox;
class QComboBox;
class QDialog;
class QGridLayout;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace quillmate::ui {

class CHexEdit;
class LampPanel;

// One right of the file: its list of keys, the field of its own key and its "pro Karte ableiten".
struct AccessRow {
  QComboBox *list = nullptr;
  CHexEdit *key = nullptr;
  QCheckBox *derived = nullptr;
};

struct MainWindowForm {
  // "Parameter"
  CHexEdit *app_id = nullptr;
  CHexEdit *file_id = nullptr;
  QLineEdit *length = nullptr;
  // "Zahlenformat", "Darstellung", "Ausrichtung"
  QRadioButton *no_number = nullptr;
  QRadioButton *decimal = nullptr;
  QRadioButton *hexadecimal = nullptr;
  QRadioButton *binary = nullptr;
  QRadioButton *ascii = nullptr;
  QRadioButton *normal = nullptr;
  QRadioButton *rotated = nullptr;
  // "Konfiguration"
  CHexEdit *card_key = nullptr;
  CHexEdit *app_key = nullptr;
  QLineEdit *key_count = nullptr;
  AccessRow read;
  AccessRow write;
  AccessRow read_write;
  QComboBox *file_mode = nullptr;
  QPushButton *show_keys = nullptr;  // checkable: keys in clear
  // "pro Karte ableiten" beside the card's and the application's master key fields (the rights'
  // ones are in their rows), and the derivation's "System-Kennung".
  QCheckBox *card_key_derived = nullptr;
  QCheckBox *app_key_derived = nullptr;
  QLineEdit *system_identifier = nullptr;
  // "Daten"
  QLineEdit *data = nullptr;
  QCheckBox *auto_increment = nullptr;
  QCheckBox *leading_zeros = nullptr;
  QCheckBox *prefix_allowed = nullptr;
  QCheckBox *verify_after_write = nullptr;
  QPushButton *read_single = nullptr;
  QPushButton *read_cycle = nullptr;  // checkable
  QPushButton *write_single = nullptr;
  QPushButton *write_cycle = nullptr;  // checkable
  // "Logdateien"
  QCheckBox *log_write = nullptr;
  QLineEdit *log_write_file = nullptr;
  QPushButton *choose_log_write = nullptr;
  QCheckBox *log_read = nullptr;
  QLineEdit *log_read_file = nullptr;
  QPushButton *choose_log_read = nullptr;
  // bottom
  QPlainTextEdit *status = nullptr;
  QPushButton *reset_status = nullptr;
  QPushButton *load_job = nullptr;
  QPushButton *save_job = nullptr;
  QPushButton *erase = nullptr;
  QPushButton *close = nullptr;
  QLabel *help_hint = nullptr;
  // The reader's state in words (connected with its name, none, link lost), beside the help hint.
  QLabel *reader_state = nullptr;
  QMenuBar *menu_bar = nullptr;
  LampPanel *lamps = nullptr;

  // The five key fields, in the order card, app, read, write, read/write.
  QList<CHexEdit *> KeyFields() const;
};

// Creates every control as a child of `dialog` and lays them out.
MainWindowForm BuildMainWindowForm(QDialog *dialog);

}  // namespace quillmate::ui
