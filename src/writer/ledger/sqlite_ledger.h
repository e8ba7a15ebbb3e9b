// The series ledger in a SQLite file: the embedded ledger of a station that works on its own. The
// file is created on first use with mode 0600, written through a write-ahead log with full
// synchronisation (a reservation that was answered survives a power cut), and carries its schema
// version (PRAGMA user_version); a file of a newer version is refused rather than misread.
#pragma once

#include <QString>
#include <memory>

#include "writer/ledger/series_ledger.h"

namespace quillmate {

// The schema version this program writes and reads.
inline constexpr int kSqliteLedgerSchemaVersion = 1;
// How long a call waits for another process that holds the file's write lock; longer fails the
// call with a reason naming the file.
inline constexpr int kSqliteLedgerBusyTimeoutMs = 5000;

// Opens (creating it and its schema when missing) the ledger in `file`. Null, with `failure`
// naming the file and the reason, when the file cannot be opened or written, is no ledger, or
// has a schema newer than this program knows.
std::unique_ptr<SeriesLedger> OpenSqliteLedger(const QString &file, QString *failure);

}  // namespace quillmate
