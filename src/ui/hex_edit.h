// An edit field for hexadecimal numbers and keys, and the field exchange of the dialogs' hex
// fields. Only hex digits reach the field from the operator: typed characters that are no hex
// digit are dropped without a sound, and text pasted (Ctrl+V, Shift+Ins, the context menu, a
// middle click), dropped or committed by an input method loses its other characters before it is
// inserted, so that a key copied as "00 11 22 ..." arrives as its 32 digits and the field's
// maxLength counts digits only. Text the program sets with setText() is shown as it is: a wrong
// key from a job stays visible and is refused by the job check instead of being changed silently.
#pragma once

#include <QLineEdit>
#include <QString>
#include <QtGlobal>

class QAction;
class QMenu;

namespace quillmate::ui {

class CHexEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CHexEdit(QWidget *parent = nullptr);

  // `text` without every character that is no hex digit.
  static QString HexDigitsOnly(const QString &text);
  // The "Paste" entry of a standard context menu of a line edit; null when it has none.
  static QAction *PasteAction(const QMenu &menu);

 protected:
  void keyPressEvent(QKeyEvent *event) override;
  void inputMethodEvent(QInputMethodEvent *event) override;
  void dropEvent(QDropEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;

 private:
  // Inserts the hex digits of the clipboard's text (or of the mouse selection) at the cursor.
  void PasteHexDigits(bool from_selection);
  // The context menu whose "Paste" inserts hex digits only.
  QMenu *CreateContextMenu();
};

// The field's text read as a base-16 number: at most the first 31 characters count; leading
// blanks, a sign and a 0x prefix are allowed; reading stops at the first character that is no hex
// digit. An empty or non-numeric text gives 0, a negative one its 32-bit two's complement, and a
// number beyond 32 bits FFFFFFFF.
unsigned HexTextValue(const QString &text);
unsigned HexTextValue(const QLineEdit &field);

// Shows `value` in the field in upper-case hex without leading zeros ("FF").
void SetHexText(QLineEdit &field, unsigned value);

// The range check of a hex field. True when minimum <= value <= maximum; otherwise tells the
// operator "Geben Sie eine ganze Zahl zwischen %1 und %2 ein." with both bounds in upper-case hex,
// puts the focus on `field` with its whole text selected and returns false.
bool DDV_HexMinMax(QLineEdit *field, qint64 value, qint64 minimum, qint64 maximum);

}  // namespace quillmate::ui
