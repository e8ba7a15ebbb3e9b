// What a front end shows or exports of one series: its rows and summary, read from the ledger in
// one go, or why not (the database failed, or it holds no series of that name).
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "writer/job/desfire_set.h"
#include "writer/ledger/ledger_choice.h"
#include "writer/ledger/series_ledger.h"

namespace quillmate {

struct SeriesRecord {
  enum class Outcome {
    kRead,           // `summary` and `entries` hold the series
    kUnknownSeries,  // the ledger answered but holds no series of that name; `known` has its series
    kNoLedger,       // the SQLite ledger's file does not exist (no card was counted into it yet)
    kFailed,         // the database failed; `failure` names it and the reason
  };
  Outcome outcome = Outcome::kFailed;
  QString database;  // the ledger as messages name it (SeriesLedger::Name())
  LedgerSummary summary;
  std::vector<LedgerEntry> entries;  // in the order of reservation
  QStringList known;
  QString failure;
};

// Reads `series` from `ledger`: its rows and their summary.
SeriesRecord ReadSeriesRecord(SeriesLedger &ledger, const QString &series);

// Reads the series that `request` and `job` choose, from the ledger a write with them would use
// (OpenSeriesLedger). Looking creates nothing: a SQLite ledger whose file does not exist is
// kNoLedger, and its file stays missing.
SeriesRecord ReadChosenSeries(const LedgerRequest &request, const DesfireSet &job);

// The operator's sentence for a record that was not read (naming the database, and for a failure
// the reason); empty for kRead.
QString SeriesRecordProblem(const SeriesRecord &record);

// The last `count` rows of `entries`, the latest first (the window's "last cards").
std::vector<LedgerEntry> LatestEntries(const std::vector<LedgerEntry> &entries, int count);

}  // namespace quillmate
