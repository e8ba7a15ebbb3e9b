// The operator's words for a series' summary and rows.
#include "writer/ledger/series_texts.h"

#include <QCoreApplication>

#include "writer/ledger/ledger_export.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "SeriesTexts" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(SeriesTexts)
};

QString ResultText(const LedgerEntry &entry) {
  QString text;
  switch (entry.result) {
    case LedgerResult::kReserved:
      text = Texts::tr("reserviert (Lücke)");
      break;
    case LedgerResult::kWritten:
      text = Texts::tr("geschrieben");
      break;
    case LedgerResult::kVerified:
      text = Texts::tr("geschrieben und geprüft");
      break;
    case LedgerResult::kFailed:
      text = Texts::tr("fehlgeschlagen (Lücke)");
      break;
    case LedgerResult::kReturned:
      text = Texts::tr("zurückgegeben");
      break;
  }
  if (entry.reissue) text += QStringLiteral(", ") + Texts::tr("neu ausgegeben");
  return text;
}

QString OrNone(const QString &text) {
  return text.isEmpty() ? QStringLiteral("–") : text;
}

}  // namespace

std::vector<SeriesSummaryLine> SeriesSummaryLines(const LedgerSummary &summary,
                                                  const QString &database) {
  return {
      {Texts::tr("Datenbank"), OrNone(database)},
      {Texts::tr("Karten"), QString::number(summary.cards)},
      {Texts::tr("Erster Wert"), OrNone(summary.first_value)},
      {Texts::tr("Letzter Wert"), OrNone(summary.last_value)},
      {Texts::tr("Fehlgeschlagen"), QString::number(summary.failures)},
      {Texts::tr("Lücken (nicht beendet)"), QString::number(summary.gaps)},
      {Texts::tr("Neu ausgegeben"), QString::number(summary.reissues)},
      {Texts::tr("Stationen"), OrNone(summary.stations.join(QStringLiteral(", ")))},
  };
}

QStringList SeriesColumnTitles() {
  return {Texts::tr("Wert"),
          Texts::tr("UID"),
          Texts::tr("Station"),
          Texts::tr("Bediener"),
          Texts::tr("Reserviert (UTC)"),
          Texts::tr("Fertig (UTC)"),
          Texts::tr("Ergebnis")};
}

QStringList SeriesRowCells(const LedgerEntry &entry) {
  return {entry.value,         LedgerUidText(entry.uid),          entry.station,
          entry.operator_name, SeriesTimeText(entry.reserved_at), SeriesTimeText(entry.finished_at),
          ResultText(entry)};
}

QString SeriesTimeText(const QDateTime &time) {
  return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

}  // namespace quillmate
