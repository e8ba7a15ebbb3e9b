// The words a ledger row's result is stored and exported as, and a series' summary.
#include "writer/ledger/series_ledger.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quillmate {

namespace {

constexpr std::array<std::pair<LedgerResult, const char *>, 5> kResultWords = {{
    {LedgerResult::kReserved, "reserved"},
    {LedgerResult::kWritten, "written"},
    {LedgerResult::kVerified, "verified"},
    {LedgerResult::kFailed, "failed"},
    {LedgerResult::kReturned, "returned"},
}};

}  // namespace

QString LedgerResultWord(LedgerResult result) {
  for (const auto &[known, word] : kResultWords) {
    if (known == result) return QString::fromLatin1(word);
  }
  return {};
}

std::optional<LedgerResult> LedgerResultFromWord(const QString &word) {
  for (const auto &[result, known] : kResultWords) {
    if (word == QLatin1String(known)) return result;
  }
  return std::nullopt;
}

LedgerSummary SummariseLedger(const QString &series, const std::vector<LedgerEntry> &entries) {
  LedgerSummary summary;
  summary.series = series;
  for (const LedgerEntry &entry : entries) {
    if (entry.reissue) ++summary.reissues;
    switch (entry.result) {
      case LedgerResult::kWritten:
      case LedgerResult::kVerified:
        ++summary.cards;
        if (summary.first_value.isEmpty()) summary.first_value = entry.value;
        summary.last_value = entry.value;
        break;
      case LedgerResult::kFailed:
        ++summary.failures;
        break;
      case LedgerResult::kReserved:
        ++summary.gaps;
        break;
      case LedgerResult::kReturned:
        break;
    }
    if (!summary.stations.contains(entry.station)) summary.stations.append(entry.station);
  }
  std::sort(summary.stations.begin(), summary.stations.end());
  return summary;
}

}  // namespace quillmate
