// Reading one series out of its ledger for a view, an export or a report.
#include "writer/ledger/series_record.h"

#include <algorithm>

namespace quillmate {

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

std::vector<LedgerEntry> LatestEntries(const std::vector<LedgerEntry> &entries, int count) {
  const auto take = std::min<std::size_t>(entries.size(), std::size_t(std::max(count, 0)));
  return std::vector<LedgerEntry>(entries.rbegin(), entries.rbegin() + std::ptrdiff_t(take));
}

}  // namespace quillmate
