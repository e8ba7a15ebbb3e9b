// Rows of the series ledger as the program reads them back: any text in any column (a file edited
// or damaged by another tool, a newer program's words). The input's fields, split at zero bytes,
// become one row inserted behind the ledger's back; reading the series must give entries whose
// result is one of the known words, a summary that counts each row at most once, and a held
// value that the ledger refuses to reserve again.
#include <sqlite3.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "writer/ledger/series_ledger.h"
#include "writer/ledger/sqlite_ledger.h"

using namespace quillmate;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const QString file =
      QDir::temp().filePath(QStringLiteral("fuzz_ledger_rows-%1.sqlite").arg(getpid()));
  for (const char *part : {"", "-wal", "-shm"}) QFile::remove(file + QLatin1String(part));
  const QList<QByteArray> fields =
      QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)).split('\0');
  const auto field = [&fields](int index) { return fields.value(index); };
  {
    if (OpenSqliteLedger(file, nullptr) == nullptr) std::abort();
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(file).constData(), &db) != SQLITE_OK) std::abort();
    // Another tool that knows nothing of the checks.
    sqlite3_exec(db, "PRAGMA ignore_check_constraints = ON", nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO entries(series, value, uid, station, operator, reserved_at, "
                       "finished_at, job_fingerprint, result, reissue) VALUES "
                       "('s', ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
                       -1, &insert, nullptr);
    // Text columns hold text (another tool writes text, as SQLite's shell does); the UID is
    // bytes.
    for (int column = 0; column < 8; ++column) {
      const QByteArray bytes = field(column);
      if (column == 1) {
        sqlite3_bind_blob(insert, column + 1, bytes.constData(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        continue;
      }
      const QByteArray text = QString::fromUtf8(bytes).toUtf8();
      sqlite3_bind_text(insert, column + 1, text.constData(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT);
    }
    sqlite3_bind_int(insert, 9, field(8).isEmpty() ? 0 : static_cast<unsigned char>(field(8)[0]));
    sqlite3_exec(db, "INSERT INTO series(name, next) VALUES ('s', '1')", nullptr, nullptr, nullptr);
    sqlite3_step(insert);
    sqlite3_finalize(insert);
    sqlite3_close(db);
  }
  std::unique_ptr<SeriesLedger> ledger = OpenSqliteLedger(file, nullptr);
  if (ledger == nullptr) std::abort();
  const std::optional<std::vector<LedgerEntry>> rows = ledger->Entries(QStringLiteral("s"));
  if (!rows) std::abort();
  for (const LedgerEntry &row : *rows) {
    if (LedgerResultWord(row.result).isEmpty()) std::abort();
  }
  const LedgerSummary summary = SummariseLedger(QStringLiteral("s"), *rows);
  if (summary.cards + summary.failures + summary.gaps > static_cast<int>(rows->size())) {
    std::abort();
  }
  for (const LedgerEntry &row : *rows) {
    if (row.reissue || row.result == LedgerResult::kReturned) continue;
    // A value a row holds is never given out again without a reissue.
    const SeriesLedger::Reservation again = ledger->Reserve(
        QStringLiteral("s"), QString(),
        [&row](const QString &) {
          return SeriesLedger::Plan{row.value, row.value + 'x'};
        },
        {}, false);
    if (again.outcome == SeriesLedger::Reservation::Outcome::kReserved) std::abort();
  }
  return 0;
}
