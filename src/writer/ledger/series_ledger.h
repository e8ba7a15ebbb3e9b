// The ledger of a series: every value the series gives out, with the card that got it, the
// station and operator that wrote it and how the card ended. A value is given out once per series
// (the ledger refuses a second reservation of it), unless the operator reissues it on purpose,
// which is a row of its own. No key and no hash of a key is ever stored here.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quillmate {

// How a ledger row ended.
enum class LedgerResult {
  kReserved,  // the value is reserved, the card not finished: a station that died leaves this
  kWritten,   // the card holds the value
  kVerified,  // the card holds the value and a read after the write found it there
  kFailed,    // the card failed after the value was reserved: the value is a gap, never reused
  kReturned,  // the card surely did not take the value, which went back to the series
};

// The words rows carry in the database and in an export ("reserved", "written", "verified",
// "failed", "returned"); nullopt for a word that names no result.
QString LedgerResultWord(LedgerResult result);
std::optional<LedgerResult> LedgerResultFromWord(const QString &word);

struct LedgerEntry {
  std::int64_t id = 0;      // the row's number in the ledger, rising in the order of reservation
  QString series;           // the series' name
  QString value;            // the value as written to the card
  QByteArray uid;           // the card's UID; empty while none is known
  QString station;          // "<host name>/<program>", e.g. "bench-2/quillmate-cli"
  QString operator_name;    // the login name of the operator
  QDateTime reserved_at;    // UTC
  QDateTime finished_at;    // UTC; invalid while the row is kReserved
  QString job_fingerprint;  // hex SHA-256 over the job's fields without any key material
  LedgerResult result = LedgerResult::kReserved;
  bool reissue = false;  // the operator gave this value out again on purpose
};

// What a series' summary shows (the CLI's `series show`, the window's series view, the report).
struct LedgerSummary {
  QString series;
  int cards = 0;        // rows written or verified
  int failures = 0;     // rows failed
  int gaps = 0;         // rows still reserved (a station died between reserving and finishing)
  int reissues = 0;     // reissue rows
  QString first_value;  // of the rows written or verified, by reservation order
  QString last_value;
  QStringList stations;  // every station with a row, sorted
};

// Where a ledger lives: a SQLite file beside the value store, or a PostgreSQL database that
// several stations share. Every call is bounded in time (a database that does not answer fails the
// call with a reason, it is never waited for without end) and reports failure honestly: a call
// that returns false or kFailed changed nothing it did not say it changed.
class SeriesLedger {
 public:
  virtual ~SeriesLedger() = default;

  // The database as messages name it: the SQLite file's path, or "PostgreSQL <database> (<host
  // or socket folder>)"; never a password.
  virtual QString Name() const = 0;
  // Why the last call failed, naming the database and the reason; empty after a success.
  const QString &Failure() const { return failure_; }

  // The value one card gets and the series' next value after it.
  struct Plan {
    QString value;
    QString next;
  };
  struct Reservation {
    enum class Outcome {
      kReserved,  // `entry` is the new row (its id set), the series' next is `plan.next`
      kHeld,      // the ledger holds the value already; `earlier` names who got it; no change
      kFailed,    // the database failed (Failure()); no change
    };
    Outcome outcome = Outcome::kFailed;
    LedgerEntry entry;
    std::vector<LedgerEntry> earlier;
    Plan plan;
  };
  // One transaction no other station can come between: reads the series' next value (a series the
  // ledger does not know yet starts at `start`), lets `plan` choose this card's value and the next
  // after it, and stores the reservation row (the series, station, operator and fingerprint from
  // `who`) and the new next. With `reissue` a value the ledger holds is given out again as a
  // reissue row; without it such a value is kHeld.
  virtual Reservation Reserve(const QString &series, const QString &start,
                              const std::function<Plan(const QString &next)> &plan,
                              const LedgerEntry &who, bool reissue) = 0;
  // Ends the reserved row `id` with the card's UID and `result` (kWritten, kVerified, kFailed).
  virtual bool Finish(std::int64_t id, const QByteArray &uid, LedgerResult result) = 0;
  // The card surely did not take the reserved value: one transaction marks row `id` kReturned
  // and, while the series' next is still `next` (no station reserved since), makes `value` the
  // next again; otherwise the value stays a gap. True when the transaction went through.
  virtual bool Return(std::int64_t id, const QString &value, const QString &next) = 0;
  // Makes `value` the series' next (an operator's typed start value); values the ledger holds are
  // refused when reserved, not here.
  virtual bool SetNext(const QString &series, const QString &value) = 0;
  // The series' next value; nullopt when the ledger does not know the series or failed.
  virtual std::optional<QString> Next(const QString &series) = 0;
  // The rows that hold `value` in `series` (none when it was never given out); nullopt on failure.
  virtual std::optional<std::vector<LedgerEntry>> Holding(const QString &series,
                                                          const QString &value) = 0;
  // Every row of `series` in the order of reservation; nullopt on failure.
  virtual std::optional<std::vector<LedgerEntry>> Entries(const QString &series) = 0;
  // The names of every series in the ledger, sorted; nullopt on failure.
  virtual std::optional<QStringList> SeriesNames() = 0;

 protected:
  void SetFailure(const QString &failure) { failure_ = failure; }

 private:
  QString failure_;
};

// Summarises `entries` (the rows of one series).
LedgerSummary SummariseLedger(const QString &series, const std::vector<LedgerEntry> &entries);

}  // namespace quillmate
