// Numbers typed into a dialog's field: taken with their range check, or refused with a message.
#include "ui/number_field.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <algorithm>

#include "ui/message_box.h"

namespace quillmate::ui {
namespace {

struct Texts {
  Q_DECLARE_TR_FUNCTIONS(NumberField)
};

qint64 Refuse(QWidget *parent, QLineEdit *field, const QString &refusal,
              const QString &field_name) {
  ShowMessageBox(parent,
                 field_name.isEmpty() ? refusal : field_name + QStringLiteral(": ") + refusal,
                 BoxIcon::kWarning);
  field->setFocus();
  field->selectAll();
  return -1;
}

qint64 InRange(QWidget *parent, QLineEdit *field, qint64 value, int minimum, int maximum,
               const QString &field_name) {
  if (value >= minimum && value <= maximum) return value;
  return Refuse(
      parent, field,
      Texts::tr("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.").arg(minimum).arg(maximum),
      field_name);
}

}  // namespace

std::optional<quint32> UnsignedValue(const QString &text) {
  const QString number = text.trimmed();
  qsizetype at = number.startsWith(u'+') ? 1 : 0;
  if (at == number.size()) return std::nullopt;
  quint64 value = 0;
  for (; at < number.size(); ++at) {
    const char16_t c = number[at].unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    value = std::min<quint64>(value * 10 + (c - u'0'), 0xFFFFFFFFu);
  }
  return static_cast<quint32>(value);
}

qint64 TakeUnsignedField(QWidget *parent, QLineEdit *field, int minimum, int maximum,
                         const QString &field_name) {
  const std::optional<quint32> value = UnsignedValue(field->text());
  if (!value) {
    return Refuse(parent, field, Texts::tr("Geben Sie eine positive ganze Zahl ein."), field_name);
  }
  return InRange(parent, field, *value, minimum, maximum, field_name);
}

qint64 TakeIntegerField(QWidget *parent, QLineEdit *field, int minimum, int maximum,
                        const QString &field_name) {
  const QString text = field->text().trimmed();
  const bool negative = text.startsWith(u'-');
  const std::optional<quint32> magnitude = UnsignedValue(negative ? text.mid(1) : text);
  if (!magnitude || (negative && text.mid(1).startsWith(u'+'))) {
    return Refuse(parent, field, Texts::tr("Geben Sie eine ganze Zahl ein."), field_name);
  }
  const qint64 value = negative ? -static_cast<qint64>(*magnitude) : *magnitude;
  return InRange(parent, field, value, minimum, maximum, field_name);
}

}  // namespace quillmate::ui
