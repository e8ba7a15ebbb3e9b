// The one line that sums up a series when its cycle ends.
#include "writer/run/series_summary.h"

#include <QCoreApplication>

namespace quillmate {
namespace {

// The operator texts of this file, context "SeriesSummary" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(SeriesSummary)
};

}  // namespace

QString SeriesSummary(const SeriesCounts &counts, SummaryWording wording) {
  const QString text = wording == SummaryWording::kScripts
                           ? QStringLiteral("%1 cards done, %2 failed attempts, %3 values skipped")
                           : Texts::tr("%1 Karten fertig, %2 Fehlversuche, %3 Werte übersprungen");
  return text.arg(counts.cards_done).arg(counts.failed_attempts).arg(counts.values_skipped);
}

}  // namespace quillmate
