// An edit field for hexadecimal numbers and keys, and the field exchange of the dialogs' hex
// fields. Only hex digits reach the field from the operator: typed characters (also those an input
// method commits) that are no hex digit are dropped without a sound. Text pasted (Ctrl+V,
// Shift+Ins, the context menu, a middle click) or dropped is taken whole or not at all: blanks and
// colons between the digits and one leading 0x are taken away, so that a key copied as
// "00 11 22 ..." or an App ID copied as "0x4B4D01" arrives as its digits; anything else in it, or
// more digits than the field has room for, refuses the whole text with a message and leaves the
// field as it was. Cutting or picking digits out of such a text would put a different number into
// the field than the one the operator copied. Text the program sets with setText() is shown as it
// is: a wrong key from a job stays visible and is refused by the job check instead of being
// changed silently.
#pragma once

#include <QLineEdit>
#include <QString>
#include <QtGlobal>
#include <optional>

class QAction;
class QMenu;

namespace quillmate::ui {

class CHexEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CHexEdit(QWidget *parent = nullptr);

  // `text` without every character that is no hex digit.
  static QString HexDigitsOnly(const QString &text);
  // The hex digits of text copied from elsewhere, once blanks and colons and one leading 0x (after
  // leading blanks) are taken away; nullopt when anything else remains ("Hallo!", "12-34").
  static std::optional<QString> PastedHexDigits(const QString &text);
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
  // The digits to insert for pasted or dropped `text` when they are hex and `room` holds them;
  // otherwise nullopt, and the operator is told why (at once, or once the current event is over
  // when `tell_later`: a drop must not wait in a modal box while the drag source waits for it).
  std::optional<QString> AcceptedDigits(const QString &text, qsizetype room, bool tell_later);
  // How many more characters the field takes when `replaced` of its characters are replaced.
  qsizetype Room(qsizetype replaced) const;
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
