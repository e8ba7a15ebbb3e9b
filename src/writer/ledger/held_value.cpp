// The words for a value the series' ledger holds already.
#include "writer/ledger/held_value.h"

#include <QCoreApplication>

#include "writer/cards/card_calls.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "HeldValue" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(HeldValue)
};

}  // namespace

QString HeldValueText(const QString &value, const LedgerEntry &earlier) {
  // The operator's local time: it is compared with the clock on the wall and the card's label.
  const QDateTime when =
      (earlier.finished_at.isValid() ? earlier.finished_at : earlier.reserved_at).toLocalTime();
  const QString time = when.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
  if (earlier.uid.isEmpty()) {
    return Texts::tr(
               "Der Wert <%1> wurde in dieser Serie schon am %2 von %3 reserviert; ob eine "
               "Karte ihn trägt, ist nicht bekannt.")
        .arg(value, time, earlier.station);
  }
  return Texts::tr("Der Wert <%1> wurde in dieser Serie schon vergeben: Karte <%2> am %3.")
      .arg(value, CardUidText(earlier.uid), time);
}

QString ReissueQuestionText(const QString &value, const LedgerEntry &earlier) {
  return HeldValueText(value, earlier) + QLatin1Char('\n') +
         Texts::tr("Den Wert noch einmal vergeben und schreiben?");
}

}  // namespace quillmate
