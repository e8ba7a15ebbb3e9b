#include "ui/hex_edit.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include "ui/message_box.h"
#include "writer/key_plan.h"

namespace quillmate::ui {
namespace {

// The text field exchange reads no more of a field than this.
constexpr qsizetype kMaxExchangedChars = 31;

bool IsHexDigit(QChar c) {
  return HexDigitValue(c) >= 0;
}

// The blanks a C number conversion skips.
bool IsConversionBlank(QChar c) {
  const char16_t u = c.unicode();
  return u == u' ' || (u >= u'\t' && u <= u'\r');
}

// A bound of the range message: upper-case hex of its 64 bits (-1 reads FFFFFFFFFFFFFFFF).
QString HexBound(qint64 bound) {
  return QString::number(static_cast<quint64>(bound), 16).toUpper();
}

}  // namespace

CHexEdit::CHexEdit(QWidget *parent) : QLineEdit(parent) {}

QAction *CHexEdit::PasteAction(const QMenu &menu) {
  // Newer Qt names the action; older Qt only gives it the line edit's own text, in Qt's own
  // translation (passed as variables so that this program's translation does not collect it).
  static constexpr char kQtContext[] = "QLineEdit";
  static constexpr char kQtPaste[] = "&Paste";
  const QString paste = QCoreApplication::translate(kQtContext, kQtPaste);
  for (QAction *action : menu.actions()) {
    if (action->objectName() == QStringLiteral("edit-paste") ||
        action->text().section(u'\t', 0, 0) == paste) {
      return action;
    }
  }
  return nullptr;
}

QString CHexEdit::HexDigitsOnly(const QString &text) {
  QString digits;
  digits.reserve(text.size());
  for (QChar c : text) {
    if (IsHexDigit(c)) digits.append(c);
  }
  return digits;
}

void CHexEdit::keyPressEvent(QKeyEvent *event) {
  if (event->matches(QKeySequence::Paste)) {
    if (!isReadOnly()) PasteHexDigits(false);
    event->accept();
    return;
  }
  // With Ctrl held the key is a shortcut (copy, select all, undo); keys without a printable
  // character (backspace, delete, the cursor keys, Return) keep their usual meaning.
  if (!event->modifiers().testFlag(Qt::ControlModifier)) {
    for (QChar c : event->text()) {
      if (c.isPrint() && !IsHexDigit(c)) {
        event->accept();  // dropped without a sound, and not passed on to the dialog
        return;
      }
    }
  }
  QLineEdit::keyPressEvent(event);
}

void CHexEdit::inputMethodEvent(QInputMethodEvent *event) {
  const QString digits = HexDigitsOnly(event->commitString());
  if (digits == event->commitString()) {
    QLineEdit::inputMethodEvent(event);
    return;
  }
  QInputMethodEvent filtered(event->preeditString(), event->attributes());
  filtered.setCommitString(digits, event->replacementStart(), event->replacementLength());
  QLineEdit::inputMethodEvent(&filtered);
  event->setAccepted(filtered.isAccepted());
}

void CHexEdit::dropEvent(QDropEvent *event) {
  const QMimeData *dropped = event->mimeData();
  if (!dropped || !dropped->hasText() || HexDigitsOnly(dropped->text()) == dropped->text()) {
    QLineEdit::dropEvent(event);
    return;
  }
  QMimeData digits;
  digits.setText(HexDigitsOnly(dropped->text()));
  QDropEvent filtered(event->position(), event->possibleActions(), &digits, event->buttons(),
                      event->modifiers(), event->type());
  filtered.setDropAction(event->dropAction());
  QLineEdit::dropEvent(&filtered);
  event->setDropAction(filtered.dropAction());
  event->setAccepted(filtered.isAccepted());
}

void CHexEdit::mouseReleaseEvent(QMouseEvent *event) {
  // A middle click pastes the mouse selection where the platform has one (X11).
  if (event->button() == Qt::MiddleButton && !isReadOnly() &&
      QGuiApplication::clipboard()->supportsSelection()) {
    deselect();
    PasteHexDigits(true);
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void CHexEdit::contextMenuEvent(QContextMenuEvent *event) {
  QMenu *menu = CreateContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

QMenu *CHexEdit::CreateContextMenu() {
  QMenu *menu = createStandardContextMenu();
  if (QAction *paste = PasteAction(*menu)) {
    disconnect(paste, &QAction::triggered, this, nullptr);
    connect(paste, &QAction::triggered, this, [this] { PasteHexDigits(false); });
  }
  return menu;
}

void CHexEdit::PasteHexDigits(bool from_selection) {
  const QString digits = HexDigitsOnly(QGuiApplication::clipboard()->text(
      from_selection ? QClipboard::Selection : QClipboard::Clipboard));
  // Text without a single digit changes nothing, not even the selection it would replace.
  if (!digits.isEmpty()) insert(digits);
}

unsigned HexTextValue(const QString &field_text) {
  const QString text = field_text.left(kMaxExchangedChars);
  qsizetype at = 0;
  while (at < text.size() && IsConversionBlank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
    negative = text[at] == u'-';
    ++at;
  }
  if (at + 2 < text.size() && text[at] == u'0' && (text[at + 1] == u'x' || text[at + 1] == u'X') &&
      IsHexDigit(text[at + 2])) {
    at += 2;
  }
  quint64 magnitude = 0;
  for (; at < text.size() && IsHexDigit(text[at]); ++at) {
    magnitude = magnitude * 16 + static_cast<quint64>(HexDigitValue(text[at]));
    if (magnitude > 0xFFFFFFFFu) return 0xFFFFFFFFu;  // out of range, whatever the sign
  }
  const auto value = static_cast<unsigned>(magnitude);
  return negative ? 0u - value : value;
}

unsigned HexTextValue(const QLineEdit &field) {
  return HexTextValue(field.text());
}

void SetHexText(QLineEdit &field, unsigned value) {
  field.setText(QString::number(value, 16).toUpper());
}

bool DDV_HexMinMax(QLineEdit *field, qint64 value, qint64 minimum, qint64 maximum) {
  if (value >= minimum && value <= maximum) return true;
  ShowMessageBox(field ? field->window() : nullptr,
                 CHexEdit::tr("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.")
                     .arg(HexBound(minimum), HexBound(maximum)),
                 BoxIcon::kWarning);
  if (field) {
    field->setFocus();
    field->selectAll();
  }
  return false;
}

}  // namespace quillmate::ui
