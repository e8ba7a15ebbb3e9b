// An edit field that takes only hexadecimal digits, and the field exchange of the dialogs' hex
// fields.
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
#include <QTimer>
#include <algorithm>

#include "ui/message_box.h"
#include "writer/job/key_plan.h"

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

// The most characters of a refused text the message quotes.
constexpr qsizetype kQuotedChars = 40;

// Blanks and colons may stand between the digits of a copied number or key.
bool IsDigitSeparator(QChar c) {
  return c.isSpace() || c == u':';
}

// A refused text as the message quotes it: on one line, and cut when long.
QString Quoted(const QString &text) {
  const QString line = text.simplified();
  return line.size() <= kQuotedChars ? line : line.left(kQuotedChars) + QChar(0x2026);
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

std::optional<QString> CHexEdit::PastedHexDigits(const QString &text) {
  qsizetype at = 0;
  while (at < text.size() && text[at].isSpace()) ++at;
  if (at + 1 < text.size() && text[at] == u'0' && (text[at + 1] == u'x' || text[at + 1] == u'X')) {
    at += 2;
  }
  QString digits;
  digits.reserve(text.size() - at);
  for (; at < text.size(); ++at) {
    const QChar c = text[at];
    if (IsHexDigit(c)) {
      digits.append(c);
    } else if (!IsDigitSeparator(c)) {
      return std::nullopt;
    }
  }
  return digits;
}

qsizetype CHexEdit::Room(qsizetype replaced) const {
  return maxLength() - (text().size() - replaced);
}

std::optional<QString> CHexEdit::AcceptedDigits(const QString &text, qsizetype room,
                                                bool tell_later) {
  const std::optional<QString> digits = PastedHexDigits(text);
  QString refusal;
  // A hidden key field never shows what was pasted into it.
  const bool quote = echoMode() == QLineEdit::Normal;
  if (!digits) {
    refusal = quote ? tr("\"%1\" ist keine Hex-Eingabe und wurde nicht eingefügt. Erlaubt sind die "
                         "Ziffern 0 bis 9 und A bis F, davor 0x, dazwischen Leerzeichen oder "
                         "Doppelpunkte.")
                          .arg(Quoted(text))
                    : tr("Der Text ist keine Hex-Eingabe und wurde nicht eingefügt. Erlaubt sind "
                         "die Ziffern 0 bis 9 und A bis F, davor 0x, dazwischen Leerzeichen oder "
                         "Doppelpunkte.");
  } else if (digits->size() > room) {
    refusal = tr("Der Text hat %1 Hex-Ziffern, in das Feld passen nur noch %2. Er wurde nicht "
                 "eingefügt.")
                  .arg(digits->size())
                  .arg(std::max<qsizetype>(room, 0));
  } else {
    return digits;
  }
  if (tell_later) {
    QTimer::singleShot(0, this,
                       [this, refusal] { ShowMessageBox(window(), refusal, BoxIcon::kWarning); });
  } else {
    ShowMessageBox(window(), refusal, BoxIcon::kWarning);
  }
  return std::nullopt;
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
  // Text moved within the field is the field's own.
  if (!dropped || !dropped->hasText() || event->source() == this) {
    QLineEdit::dropEvent(event);
    return;
  }
  const std::optional<QString> digits = AcceptedDigits(dropped->text(), Room(0), true);
  if (!digits) {
    event->ignore();
    return;
  }
  if (*digits == dropped->text()) {
    QLineEdit::dropEvent(event);
    return;
  }
  QMimeData accepted;
  accepted.setText(*digits);
  QDropEvent filtered(event->position(), event->possibleActions(), &accepted, event->buttons(),
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
  const QString pasted = QGuiApplication::clipboard()->text(from_selection ? QClipboard::Selection
                                                                           : QClipboard::Clipboard);
  const std::optional<QString> digits = AcceptedDigits(pasted, Room(selectedText().size()), false);
  // Nothing to paste, or a refused text, changes nothing, not even the selection.
  if (digits && !digits->isEmpty()) insert(*digits);
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
