// The controls of the main window, built and laid out in one place.
#include "ui/main_window_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/field_label.h"
#include "ui/hex_edit.h"
#include "ui/lamp_panel.h"

namespace quillmate::ui {
namespace {

// The window's texts share the translation context of the window.
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CQuillmateDlg)
};

// Hex digits a field holds at most.
constexpr int kAppIdDigits = 6;
constexpr int kFileIdDigits = 2;
constexpr int kKeyDigits = 32;
// "Länge in Bytes:" and "Key Anzahl:" take digits only.
constexpr int kLengthDigits = 8;
constexpr int kKeyCountDigits = 2;
// The status box never gets smaller than this, in pixels: a few lines of a few words.
constexpr int kStatusMinWidth = 300;
constexpr int kStatusMinHeight = 120;

QLineEdit *DigitsField(QWidget *parent, int max_digits) {
  auto *field = new QLineEdit(parent);
  field->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
  field->setMaxLength(max_digits);
  return field;
}

CHexEdit *HexField(QWidget *parent, int max_digits) {
  auto *field = new CHexEdit(parent);
  field->setMaxLength(max_digits);
  return field;
}

QPushButton *PushLikeCheckBox(const QString &caption, QWidget *parent) {
  auto *button = new QPushButton(caption, parent);
  button->setCheckable(true);
  return button;
}

QGroupBox *RadioGroup(const QString &caption, QList<QRadioButton *> buttons, QWidget *parent) {
  auto *group = new QGroupBox(caption, parent);
  auto *layout = new QVBoxLayout(group);
  for (QRadioButton *button : buttons) {
    button->setParent(group);
    layout->addWidget(button);
  }
  layout->addStretch();
  return group;
}

QGroupBox *ParameterGroup(MainWindowForm &form, QWidget *parent) {
  auto *group = new QGroupBox(Texts::tr("Parameter"), parent);
  auto *grid = new QGridLayout(group);
  form.app_id = HexField(group, kAppIdDigits);
  form.file_id = HexField(group, kFileIdDigits);
  form.length = DigitsField(group, kLengthDigits);
  grid->addWidget(FieldLabel(Texts::tr("&App ID:"), form.app_id, group), 0, 0);
  grid->addWidget(form.app_id, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("(h)"), group), 0, 2);
  grid->addWidget(FieldLabel(Texts::tr("&File ID:"), form.file_id, group), 1, 0);
  grid->addWidget(form.file_id, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("(h)"), group), 1, 2);
  grid->addWidget(FieldLabel(Texts::tr("Länge in &Bytes:"), form.length, group), 2, 0);
  grid->addWidget(form.length, 2, 1);
  return group;
}

// "pro Karte ableiten" beside a key field; its accessible name says which key it switches.
QCheckBox *DeriveSwitch(const QString &key_name, QWidget *parent) {
  auto *derived = new QCheckBox(Texts::tr("pro Karte ableiten"), parent);
  derived->setAccessibleName(Texts::tr("%1 pro Karte ableiten").arg(key_name));
  derived->setToolTip(
      Texts::tr("Das Feld hält den Hauptschlüssel; jede Karte bekommt ihren "
                "eigenen, aus ihrer UID abgeleiteten Key."));
  return derived;
}

AccessRow AddAccessRow(QGridLayout *grid, int row, const QString &caption, QWidget *parent) {
  AccessRow access;
  access.list = new QComboBox(parent);
  access.key = HexField(parent, kKeyDigits);
  grid->addWidget(FieldLabel(caption, access.list, parent), row, 0);
  // The key field shares the row's caption; its own name tells it from the list.
  access.key->setAccessibleName(Texts::tr("Schlüssel für %1").arg(QString(caption).remove(':')));
  grid->addWidget(access.list, row, 1);
  grid->addWidget(access.key, row, 2, 1, 2);
  access.derived = DeriveSwitch(QString(caption).remove(':'), parent);
  grid->addWidget(access.derived, row, 4);
  return access;
}

QGroupBox *ConfigurationGroup(MainWindowForm &form, QWidget *parent) {
  auto *group = new QGroupBox(Texts::tr("Konfiguration"), parent);
  auto *grid = new QGridLayout(group);
  // Each master key's switch follows its field in the Tab order.
  form.card_key = HexField(group, kKeyDigits);
  form.card_key_derived = DeriveSwitch(QStringLiteral("Card Master Key"), group);
  form.app_key = HexField(group, kKeyDigits);
  form.app_key_derived = DeriveSwitch(QStringLiteral("App Master Key"), group);
  form.key_count = DigitsField(group, kKeyCountDigits);
  form.show_keys = PushLikeCheckBox(QString(), group);
  form.show_keys->setToolTip(Texts::tr("Schlüssel anzeigen"));
  form.show_keys->setAccessibleName(form.show_keys->toolTip());
  grid->addWidget(FieldLabel(Texts::tr("&Card Master Key:"), form.card_key, group), 0, 0);
  grid->addWidget(form.card_key, 0, 1, 1, 2);
  grid->addWidget(form.show_keys, 0, 3);
  grid->addWidget(FieldLabel(Texts::tr("App &Master Key:"), form.app_key, group), 1, 0);
  grid->addWidget(form.app_key, 1, 1, 1, 3);
  grid->addWidget(FieldLabel(Texts::tr("&Key Anzahl:"), form.key_count, group), 2, 0);
  grid->addWidget(form.key_count, 2, 1);
  form.read = AddAccessRow(grid, 3, Texts::tr("Lesen:"), group);
  form.write = AddAccessRow(grid, 4, Texts::tr("Schreiben:"), group);
  form.read_write = AddAccessRow(grid, 5, Texts::tr("Lesen/Schreiben:"), group);
  form.file_mode = new QComboBox(group);
  form.file_mode->addItems({Texts::tr("Unverschlüsselt"), Texts::tr("Unverschlüsselt mit MAC"),
                            Texts::tr("Voll verschlüsselt")});
  grid->addWidget(FieldLabel(Texts::tr("File Zu&griff:"), form.file_mode, group), 6, 0);
  grid->addWidget(form.file_mode, 6, 1);
  grid->addWidget(form.card_key_derived, 0, 4);
  grid->addWidget(form.app_key_derived, 1, 4);
  form.system_identifier = new QLineEdit(group);
  form.system_identifier->setToolTip(
      Texts::tr("Teil jedes abgeleiteten Keys: ein Text, oder 0x und Hex-Ziffernpaare"));
  // Beside the key count, where the row has room: a row of its own would make the window too tall
  // for a 1080-line screen at 150 %.
  grid->addWidget(FieldLabel(Texts::tr("System-Kennung:"), form.system_identifier, group), 2, 2,
                  Qt::AlignRight);
  grid->addWidget(form.system_identifier, 2, 3, 1, 2);
  grid->setColumnStretch(2, 1);
  return group;
}

QGroupBox *DataGroup(MainWindowForm &form, QWidget *parent) {
  auto *group = new QGroupBox(Texts::tr("Daten"), parent);
  auto *layout = new QGridLayout(group);
  form.data = new QLineEdit(group);
  form.data->setAccessibleName(group->title());
  form.auto_increment = new QCheckBox(Texts::tr("Aut&o inkrement"), group);
  form.leading_zeros = new QCheckBox(Texts::tr("Führende &Nullen"), group);
  form.prefix_allowed = new QCheckBox(Texts::tr("Zusatz&text zulassen"), group);
  form.verify_after_write = new QCheckBox(Texts::tr("Nach dem Schreiben &prüfen"), group);
  form.verify_after_write->setToolTip(
      Texts::tr("Jede geschriebene Karte wird zurückgelesen und verglichen."));
  layout->addWidget(form.data, 0, 0, 1, 4);
  layout->addWidget(form.auto_increment, 1, 0);
  layout->addWidget(form.leading_zeros, 1, 1);
  layout->addWidget(form.prefix_allowed, 1, 2);
  layout->addWidget(form.verify_after_write, 1, 3);

  // A group inside a group would be named after the outer one; these two carry their own titles.
  auto *read_group = new QGroupBox(Texts::tr("Lesen"), group);
  read_group->setAccessibleName(read_group->title());
  auto *read_layout = new QHBoxLayout(read_group);
  form.read_single = new QPushButton(Texts::tr("E&inzeln"), read_group);
  // The mnemonics tell the two "Zyklisch" buttons apart for the translation; their names, which a
  // screen reader announces, stay the same word.
  form.read_cycle = PushLikeCheckBox(Texts::tr("Z&yklisch"), read_group);
  read_layout->addWidget(form.read_single);
  read_layout->addWidget(form.read_cycle);

  auto *write_group = new QGroupBox(Texts::tr("Schreiben"), group);
  write_group->setAccessibleName(write_group->title());
  auto *write_layout = new QHBoxLayout(write_group);
  form.write_single = new QPushButton(Texts::tr("&Einzeln"), write_group);
  form.write_cycle = PushLikeCheckBox(Texts::tr("&Zyklisch"), write_group);
  write_layout->addWidget(form.write_single);
  write_layout->addWidget(form.write_cycle);

  layout->addWidget(read_group, 2, 0, 1, 2);
  layout->addWidget(write_group, 2, 2, 1, 2);
  return group;
}

QGroupBox *LogGroup(MainWindowForm &form, QWidget *parent) {
  auto *group = new QGroupBox(Texts::tr("Logdateien"), parent);
  auto *grid = new QGridLayout(group);
  const auto add_row = [&](int row, const QString &caption, QCheckBox *&enable, QLineEdit *&file,
                           QPushButton *&choose, const QString &file_name,
                           const QString &choose_title) {
    enable = new QCheckBox(caption, group);
    file = new QLineEdit(group);
    file->setReadOnly(true);
    file->setAccessibleName(file_name);
    choose = new QPushButton(QStringLiteral("..."), group);
    choose->setAccessibleName(choose_title);
    choose->setFixedWidth(choose->fontMetrics().horizontalAdvance(QStringLiteral("....")) * 2);
    grid->addWidget(enable, row, 0);
    grid->addWidget(file, row, 1);
    grid->addWidget(choose, row, 2);
  };
  add_row(0, Texts::tr("Schreiben protokollieren"), form.log_write, form.log_write_file,
          form.choose_log_write, Texts::tr("Logdatei \"Schreiben\""),
          Texts::tr("Logdatei \"Schreiben\" wählen"));
  add_row(1, Texts::tr("Lesen protokollieren"), form.log_read, form.log_read_file,
          form.choose_log_read, Texts::tr("Logdatei \"Lesen\""),
          Texts::tr("Logdatei \"Lesen\" wählen"));
  grid->setColumnStretch(1, 1);
  return group;
}

// The buttons below the status box, two to a row so that the status column stays narrow.
QWidget *StatusButtons(MainWindowForm &form, QWidget *parent) {
  auto *row = new QWidget(parent);
  auto *grid = new QGridLayout(row);
  grid->setContentsMargins(0, 0, 0, 0);
  form.reset_status = new QPushButton(Texts::tr("&Reset Status"), row);
  form.load_job = new QPushButton(Texts::tr("Konfiguration &lesen"), row);
  form.save_job = new QPushButton(Texts::tr("Konfiguration &schreiben"), row);
  form.erase = new QPushButton(Texts::tr("Lösc&hen"), row);
  form.close = new QPushButton(Texts::tr("Schliessen"), row);
  const QList<QPushButton *> in_order = {form.reset_status, form.erase, form.load_job,
                                         form.save_job, form.close};
  for (int i = 0; i < in_order.size(); ++i) {
    in_order[i]->setAutoDefault(false);
    grid->addWidget(in_order[i], i / 2, i % 2);
  }
  return row;
}

// The status box and its buttons: the column that takes the window's spare room.
QWidget *StatusColumn(MainWindowForm &form, QWidget *parent) {
  auto *column = new QWidget(parent);
  auto *layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  form.status = new QPlainTextEdit(column);
  layout->addWidget(FieldLabel(Texts::tr("Stat&us"), form.status, column));
  form.status->setReadOnly(true);
  form.status->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  form.status->setMinimumSize(kStatusMinWidth, kStatusMinHeight);
  form.status->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  layout->addWidget(form.status, 1);
  layout->addWidget(StatusButtons(form, column));
  form.help_hint =
      new QLabel(Texts::tr("Drücken Sie F1, um die Bedienungsanleitung zu öffnen"), column);
  form.help_hint->setWordWrap(true);
  layout->addWidget(form.help_hint);
  // The reader's state where the operator looks while working, on a line of its own so that a
  // longer state never widens the window.
  form.reader_state = new QLabel(column);
  form.reader_state->setObjectName(QStringLiteral("readerState"));
  form.reader_state->setWordWrap(true);
  layout->addWidget(form.reader_state);
  return column;
}

}  // namespace

QList<CHexEdit *> MainWindowForm::KeyFields() const {
  return {card_key, app_key, read.key, write.key, read_write.key};
}

MainWindowForm BuildMainWindowForm(QDialog *dialog) {
  MainWindowForm form;
  // Three columns side by side, so that the window fits a screen of 1280 x 720 logical pixels:
  // the job's groups, the status box with its buttons, and the lamp panel of a running cycle.
  auto *outer = new QHBoxLayout(dialog);
  outer->setSpacing(0);
  auto *main = new QWidget(dialog);
  auto *columns = new QHBoxLayout(main);
  columns->setContentsMargins(10, 6, 10, 10);

  form.menu_bar = new QMenuBar(dialog);
  outer->setMenuBar(form.menu_bar);

  auto *groups = new QVBoxLayout;
  auto *top = new QHBoxLayout;
  top->addWidget(ParameterGroup(form, main));
  form.no_number = new QRadioButton(Texts::tr("keine Zahl"));
  form.decimal = new QRadioButton(Texts::tr("Dezimal"));
  form.hexadecimal = new QRadioButton(Texts::tr("Hexadezimal"));
  top->addWidget(RadioGroup(Texts::tr("Zahlenformat"),
                            {form.no_number, form.decimal, form.hexadecimal}, main));
  form.binary = new QRadioButton(Texts::tr("Binär"));
  form.ascii = new QRadioButton(Texts::tr("ASCII"));
  top->addWidget(RadioGroup(Texts::tr("Darstellung"), {form.binary, form.ascii}, main));
  form.normal = new QRadioButton(Texts::tr("normal"));
  form.rotated = new QRadioButton(Texts::tr("gedreht"));
  top->addWidget(RadioGroup(Texts::tr("Ausrichtung"), {form.normal, form.rotated}, main));
  groups->addLayout(top);
  groups->addWidget(ConfigurationGroup(form, main));
  groups->addWidget(DataGroup(form, main));
  groups->addWidget(LogGroup(form, main));
  groups->addStretch(1);
  columns->addLayout(groups, 0);
  columns->addWidget(StatusColumn(form, main), 1);

  outer->addWidget(main, 1);
  form.lamps = new LampPanel(dialog);
  // The panel keeps its place at the top right; on a low screen its lamps shrink.
  outer->addWidget(form.lamps, 0);
  form.lamps->hide();

  const QRect screen = dialog->screen()->availableGeometry();
  dialog->resize(dialog->sizeHint().boundedTo(screen.size()));
  return form;
}

}  // namespace quillmate::ui
