// Reading one series out of its ledger for a view, an export or a report.
#include "writer/ledger/series_record.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>

namespace quillmate {
namespace {

// The operator texts of this file, context "SeriesRecord" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(SeriesRecord)
};

}  // namespace

SeriesRecord ReadSeriesRecord(SeriesLedger &ledger, const QString &series) {
  SeriesRecord record;
  record.database = ledger.Name();
  record.summary.series = series;
  const std::optional<QStringList> names = ledger.SeriesNames();
  if (!names) {
    record.failure = ledger.Failure();
    return record;
  }
  if (!names->contains(series)) {
    record.outcome = SeriesRecord::Outcome::kUnknownSeries;
    record.known = *names;
    return record;
  }
  std::optional<std::vector<LedgerEntry>> entries = ledger.Entries(series);
  if (!entries) {
    record.failure = ledger.Failure();
    return record;
  }
  record.outcome = SeriesRecord::Outcome::kRead;
  record.entries = std::move(*entries);
  record.summary = SummariseLedger(series, record.entries);
  return record;
}

SeriesRecord ReadChosenSeries(const LedgerRequest &request, const DesfireSet &job) {
  const QString named = !request.database.isEmpty() ? request.database : request.settings.database;
  if (named.trimmed().isEmpty()) {
    const QString file = SqliteLedgerFile(request.settings_file, request.job_file);
    if (!QFileInfo::exists(file)) {
      SeriesRecord record;
      record.outcome = SeriesRecord::Outcome::kNoLedger;
      record.database = file;
      record.summary.series = ChosenSeriesName(request, job);
      return record;
    }
  }
  OpenedLedger opened = OpenSeriesLedger(request, job);
  if (opened.ledger == nullptr) {
    SeriesRecord record;
    record.database = opened.database;
    record.summary.series = opened.series;
    record.failure = opened.failure;
    return record;
  }
  return ReadSeriesRecord(*opened.ledger, opened.series);
}

QString SeriesRecordProblem(const SeriesRecord &record) {
  switch (record.outcome) {
    case SeriesRecord::Outcome::kRead:
      return {};
    case SeriesRecord::Outcome::kUnknownSeries:
      return Texts::tr("Die Datenbank %1 enthält noch keine Karte dieser Serie.")
          .arg(record.database);
    case SeriesRecord::Outcome::kNoLedger:
      return Texts::tr(
                 "Das Serienbuch %1 gibt es noch nicht: diese Serie hat noch keine Karte "
                 "gezählt.")
          .arg(record.database);
    case SeriesRecord::Outcome::kFailed:
      break;
  }
  return Texts::tr("Die Serie kann nicht gelesen werden: %1").arg(record.failure);
}

std::vector<LedgerEntry> LatestEntries(const std::vector<LedgerEntry> &entries, int count) {
  const auto take = std::min<std::size_t>(entries.size(), std::size_t(std::max(count, 0)));
  return std::vector<LedgerEntry>(entries.rbegin(), entries.rbegin() + std::ptrdiff_t(take));
}

}  // namespace quillmate
