// Numbers typed into a dialog's edit field: taken with their range check, or refused with the
// message that says what the field wants, the field focused and its text selected.
#pragma once

#include <QString>
#include <optional>

class QLineEdit;
class QWidget;

namespace quillmate::ui {

// An unsigned decimal number with blanks around it and an optional plus sign; a number beyond 32
// bits reads as the largest one, which every range refuses. nullopt for anything else.
std::optional<quint32> UnsignedValue(const QString &text);

// The field's unsigned number in minimum..maximum, or -1 after "Geben Sie eine positive ganze
// Zahl ein." / "Geben Sie eine ganze Zahl zwischen %1 und %2 ein." (a message box over `parent`).
// A `field_name` leads the message ("Tondauer: Geben Sie ..."), so that a dialog with several
// number fields says which one is wrong.
qint64 TakeUnsignedField(QWidget *parent, QLineEdit *field, int minimum, int maximum,
                         const QString &field_name = QString());

// The same for a field that may hold a sign: "Geben Sie eine ganze Zahl ein." when it is no
// number at all.
qint64 TakeIntegerField(QWidget *parent, QLineEdit *field, int minimum, int maximum,
                        const QString &field_name = QString());

}  // namespace quillmate::ui
