// The series ledger in a SQLite file.
#include "writer/ledger/sqlite_ledger.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>

namespace quillmate {
namespace {

// The operator texts of this file, context "SqliteLedger" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(SqliteLedger)
};

// Version 1. A value is given out once per series: the unique index covers every row but the
// reissues and the values that went back to the series, so a second reservation of a value fails
// in the database itself, whatever a program asks of it.
constexpr const char *kSchema[] = {
    ("CREATE TABLE series ("
     " name TEXT PRIMARY KEY NOT NULL,"
     " next TEXT NOT NULL)"),
    ("CREATE TABLE entries ("
     " id INTEGER PRIMARY KEY AUTOINCREMENT,"
     " series TEXT NOT NULL REFERENCES series(name),"
     " value TEXT NOT NULL,"
     " uid BLOB NOT NULL DEFAULT x'',"
     " station TEXT NOT NULL,"
     " operator TEXT NOT NULL,"
     " reserved_at TEXT NOT NULL,"
     " finished_at TEXT,"
     " job_fingerprint TEXT NOT NULL,"
     " result TEXT NOT NULL CHECK (result IN"
     "  ('reserved', 'written', 'verified', 'failed', 'returned')),"
     " reissue INTEGER NOT NULL CHECK (reissue IN (0, 1)))"),
    ("CREATE UNIQUE INDEX entries_value_once ON entries(series, value)"
     " WHERE reissue = 0 AND result <> 'returned'"),
    "CREATE INDEX entries_by_series ON entries(series, id)",
};

constexpr const char kEntryColumns[] =
    "id, series, value, uid, station, operator, reserved_at, finished_at, job_fingerprint, "
    "result, reissue";

QString TimeText(const QDateTime &time) {
  return time.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime TimeFromText(const QString &text) {
  const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
  return time.isValid() ? time.toUTC() : time;
}

// One prepared statement, finalised when it goes out of scope.
class Statement {
 public:
  Statement(sqlite3 *db, const char *sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) statement_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;

  bool Ok() const { return statement_ != nullptr; }
  Statement &Bind(int index, const QString &text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement_, index, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  Statement &Bind(int index, const QByteArray &bytes) {
    sqlite3_bind_blob(statement_, index, bytes.constData(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  Statement &Bind(int index, std::int64_t number) {
    sqlite3_bind_int64(statement_, index, number);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return statement_ != nullptr ? sqlite3_step(statement_) : SQLITE_ERROR; }
  QString Text(int column) const {
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement_, column));
    return text != nullptr ? QString::fromUtf8(text, sqlite3_column_bytes(statement_, column))
                           : QString();
  }
  QByteArray Bytes(int column) const {
    const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement_, column));
    return QByteArray(bytes, sqlite3_column_bytes(statement_, column));
  }
  std::int64_t Number(int column) const { return sqlite3_column_int64(statement_, column); }

 private:
  sqlite3_stmt *statement_ = nullptr;
};

LedgerEntry EntryFromRow(const Statement &row) {
  LedgerEntry entry;
  entry.id = row.Number(0);
  entry.series = row.Text(1);
  entry.value = row.Text(2);
  entry.uid = row.Bytes(3);
  entry.station = row.Text(4);
  entry.operator_name = row.Text(5);
  entry.reserved_at = TimeFromText(row.Text(6));
  entry.finished_at = TimeFromText(row.Text(7));
  entry.job_fingerprint = row.Text(8);
  entry.result = LedgerResultFromWord(row.Text(9)).value_or(LedgerResult::kReserved);
  entry.reissue = row.Number(10) != 0;
  return entry;
}

class SqliteLedger : public SeriesLedger {
 public:
  SqliteLedger(QString file, sqlite3 *db) : file_(std::move(file)), db_(db) {}
  ~SqliteLedger() override { sqlite3_close_v2(db_); }
  SqliteLedger(const SqliteLedger &) = delete;
  SqliteLedger &operator=(const SqliteLedger &) = delete;

  QString Name() const override { return file_; }

  Reservation Reserve(const QString &series, const QString &start,
                      const std::function<Plan(const QString &next)> &plan, const LedgerEntry &who,
                      bool reissue) override {
    Reservation reservation;
    // IMMEDIATE takes the write lock at once: no other station reads the same next meanwhile.
    if (!Exec("BEGIN IMMEDIATE")) return reservation;
    std::optional<QString> next = ReadNext(series);
    if (!next) return Abandon(reservation);
    if (next->isNull()) {
      *next = start;
      Statement insert(db_, "INSERT INTO series(name, next) VALUES (?1, ?2)");
      if (!Done(insert.Bind(1, series).Bind(2, start))) return Abandon(reservation);
    }
    reservation.plan = plan(*next);
    std::optional<std::vector<LedgerEntry>> earlier = HoldingNow(series, reservation.plan.value);
    if (!earlier) return Abandon(reservation);
    if (!earlier->empty() && !reissue) {
      Exec("ROLLBACK");
      reservation.outcome = Reservation::Outcome::kHeld;
      reservation.earlier = std::move(*earlier);
      SetFailure({});
      return reservation;
    }
    LedgerEntry &entry = reservation.entry;
    entry = who;
    entry.series = series;
    entry.value = reservation.plan.value;
    entry.reserved_at = QDateTime::currentDateTimeUtc();
    entry.finished_at = QDateTime();
    entry.result = LedgerResult::kReserved;
    entry.reissue = !earlier->empty();
    Statement insert(db_,
                     "INSERT INTO entries(series, value, station, operator, reserved_at, "
                     "job_fingerprint, result, reissue, uid) VALUES (?1, ?2, ?3, ?4, ?5, ?6, "
                     "'reserved', ?7, ?8)");
    insert.Bind(1, series).Bind(2, entry.value).Bind(3, entry.station).Bind(4, entry.operator_name);
    insert.Bind(5, TimeText(entry.reserved_at)).Bind(6, entry.job_fingerprint);
    insert.Bind(7, std::int64_t{entry.reissue ? 1 : 0}).Bind(8, entry.uid);
    if (!Done(insert)) return Abandon(reservation);
    entry.id = sqlite3_last_insert_rowid(db_);
    Statement update(db_, "UPDATE series SET next = ?2 WHERE name = ?1");
    if (!Done(update.Bind(1, series).Bind(2, reservation.plan.next))) return Abandon(reservation);
    if (!Exec("COMMIT")) return Abandon(reservation);
    reservation.outcome = Reservation::Outcome::kReserved;
    SetFailure({});
    return reservation;
  }

  bool Finish(std::int64_t id, const QByteArray &uid, LedgerResult result) override {
    Statement update(db_,
                     "UPDATE entries SET uid = ?2, result = ?3, finished_at = ?4 "
                     "WHERE id = ?1 AND result = 'reserved'");
    update.Bind(1, id).Bind(2, uid).Bind(3, LedgerResultWord(result));
    update.Bind(4, TimeText(QDateTime::currentDateTimeUtc()));
    if (!Done(update)) return false;
    if (sqlite3_changes(db_) != 1) return NoReservedRow(id);
    SetFailure({});
    return true;
  }

  bool Return(std::int64_t id, const QString &value, const QString &next) override {
    if (!Exec("BEGIN IMMEDIATE")) return false;
    Statement update(db_,
                     "UPDATE entries SET result = 'returned', finished_at = ?2 "
                     "WHERE id = ?1 AND result = 'reserved'");
    if (!Done(update.Bind(1, id).Bind(2, TimeText(QDateTime::currentDateTimeUtc())))) {
      Exec("ROLLBACK");
      return false;
    }
    if (sqlite3_changes(db_) != 1) {
      Exec("ROLLBACK");
      return NoReservedRow(id);
    }
    Statement back(db_,
                   "UPDATE series SET next = ?2 WHERE next = ?3 AND "
                   "name = (SELECT series FROM entries WHERE id = ?1)");
    if (!Done(back.Bind(1, id).Bind(2, value).Bind(3, next)) || !Exec("COMMIT")) {
      Exec("ROLLBACK");
      return false;
    }
    SetFailure({});
    return true;
  }

  bool SetNext(const QString &series, const QString &value) override {
    Statement upsert(db_,
                     "INSERT INTO series(name, next) VALUES (?1, ?2) "
                     "ON CONFLICT(name) DO UPDATE SET next = excluded.next");
    if (!Done(upsert.Bind(1, series).Bind(2, value))) return false;
    SetFailure({});
    return true;
  }

  std::optional<QString> Next(const QString &series) override {
    std::optional<QString> next = ReadNext(series);
    if (!next || next->isNull()) return std::nullopt;
    SetFailure({});
    return next;
  }

  std::optional<std::vector<LedgerEntry>> Holding(const QString &series,
                                                  const QString &value) override {
    std::optional<std::vector<LedgerEntry>> rows = HoldingNow(series, value);
    if (rows) SetFailure({});
    return rows;
  }

  std::optional<std::vector<LedgerEntry>> Entries(const QString &series) override {
    const QByteArray sql =
        QByteArray("SELECT ") + kEntryColumns + " FROM entries WHERE series = ?1 ORDER BY id";
    Statement select(db_, sql.constData());
    std::optional<std::vector<LedgerEntry>> rows = Rows(select.Bind(1, series));
    if (rows) SetFailure({});
    return rows;
  }

  std::optional<QStringList> SeriesNames() override {
    Statement select(db_, "SELECT name FROM series ORDER BY name");
    QStringList names;
    int step = SQLITE_ERROR;
    while ((step = select.Step()) == SQLITE_ROW) names.append(select.Text(0));
    if (step != SQLITE_DONE) return Failed<QStringList>();
    SetFailure({});
    return names;
  }

 private:
  // The series' next, a null text when the series is not in the ledger; nullopt on failure.
  std::optional<QString> ReadNext(const QString &series) {
    Statement select(db_, "SELECT next FROM series WHERE name = ?1");
    const int step = select.Bind(1, series).Step();
    if (step == SQLITE_ROW) {
      // An empty next is a value too; only a missing row is null.
      QString next = select.Text(0);
      if (next.isNull()) next = QString(QLatin1String(""));
      return next;
    }
    if (step == SQLITE_DONE) return QString();
    return Failed<QString>();
  }

  std::optional<std::vector<LedgerEntry>> HoldingNow(const QString &series, const QString &value) {
    const QByteArray sql = QByteArray("SELECT ") + kEntryColumns +
                           " FROM entries WHERE series = ?1 AND value = ?2 AND "
                           "result <> 'returned' ORDER BY id";
    Statement select(db_, sql.constData());
    return Rows(select.Bind(1, series).Bind(2, value));
  }

  std::optional<std::vector<LedgerEntry>> Rows(Statement &select) {
    std::vector<LedgerEntry> rows;
    int step = SQLITE_ERROR;
    while ((step = select.Step()) == SQLITE_ROW) rows.push_back(EntryFromRow(select));
    if (step != SQLITE_DONE) return Failed<std::vector<LedgerEntry>>();
    return rows;
  }

  bool Exec(const char *sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    Fail();
    return false;
  }

  bool Done(Statement &statement) {
    if (statement.Step() == SQLITE_DONE) return true;
    Fail();
    return false;
  }

  template <typename T>
  std::optional<T> Failed() {
    Fail();
    return std::nullopt;
  }

  Reservation Abandon(Reservation &reservation) {
    const QString reason = Failure();
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    SetFailure(reason);
    reservation.outcome = Reservation::Outcome::kFailed;
    return reservation;
  }

  bool NoReservedRow(std::int64_t id) {
    SetFailure(
        Texts::tr("Serienbuch %1: die Zeile %2 ist nicht mehr reserviert").arg(file_).arg(id));
    return false;
  }

  void Fail() {
    const int code = sqlite3_extended_errcode(db_);
    QString reason = QString::fromUtf8(sqlite3_errmsg(db_));
    if ((code & 0xff) == SQLITE_BUSY) {
      reason = Texts::tr("von einem anderen Programm länger als %1 s gesperrt")
                   .arg(kSqliteLedgerBusyTimeoutMs / 1000);
    }
    SetFailure(Texts::tr("Serienbuch %1: %2").arg(file_, reason));
  }

  const QString file_;
  sqlite3 *db_;
};

// Creates the schema in one transaction, or checks that the file's is one this program knows.
bool PrepareSchema(sqlite3 *db, const QString &file, QString *failure) {
  const auto reason = [db] { return QString::fromUtf8(sqlite3_errmsg(db)); };
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    *failure = Texts::tr("Serienbuch %1: %2").arg(file, reason());
    return false;
  }
  int version = -1;
  {
    Statement select(db, "PRAGMA user_version");
    if (select.Step() == SQLITE_ROW) version = static_cast<int>(select.Number(0));
  }
  bool ok = true;
  if (version == 0) {
    for (const char *sql : kSchema) {
      if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        ok = false;
        break;
      }
    }
    const QByteArray set_version =
        "PRAGMA user_version = " + QByteArray::number(kSqliteLedgerSchemaVersion);
    ok = ok && sqlite3_exec(db, set_version.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) *failure = Texts::tr("Serienbuch %1: %2").arg(file, reason());
  } else {
    if (version < 0) {
      *failure = Texts::tr("Serienbuch %1: %2").arg(file, reason());
      ok = false;
    } else if (version > kSqliteLedgerSchemaVersion) {
      *failure = Texts::tr(
                     "Das Serienbuch %1 hat die Version %2 eines neueren Programms; dieses "
                     "Programm kennt nur die Version %3.")
                     .arg(file)
                     .arg(version)
                     .arg(kSqliteLedgerSchemaVersion);
      ok = false;
    }
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return ok;
  }
  if (!ok) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return ok;
}

}  // namespace

std::unique_ptr<SeriesLedger> OpenSqliteLedger(const QString &file, QString *failure) {
  QString ignored;
  if (failure == nullptr) failure = &ignored;
  const QByteArray path = QFile::encodeName(file);
  // Created here with mode 0600 and no wider: SQLite gives its write-ahead log and shared-memory
  // files the database's mode. O_EXCL leaves an existing file and its mode as they are.
  const int created = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (created >= 0) ::close(created);
  sqlite3 *db = nullptr;
  const int opened = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  const auto fail = [&](const QString &reason) -> std::unique_ptr<SeriesLedger> {
    *failure = Texts::tr("Serienbuch %1: %2").arg(file, reason);
    sqlite3_close_v2(db);
    return nullptr;
  };
  if (opened != SQLITE_OK) {
    return fail(db != nullptr ? QString::fromUtf8(sqlite3_errmsg(db))
                              : QString::fromUtf8(sqlite3_errstr(opened)));
  }
  sqlite3_extended_result_codes(db, 1);
  // A file the system lets us only read opens read-only without a word: the station must not
  // start on a ledger that cannot take its next row.
  if (sqlite3_db_readonly(db, "main") == 1) return fail(Texts::tr("nur lesbar"));
  sqlite3_busy_timeout(db, kSqliteLedgerBusyTimeoutMs);
  // Not a database at all shows at the first read.
  if (sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return fail(QString::fromUtf8(sqlite3_errmsg(db)));
  }
  if (!PrepareSchema(db, file, failure)) {
    sqlite3_close_v2(db);
    return nullptr;
  }
  failure->clear();
  return std::make_unique<SqliteLedger>(file, db);
}

}  // namespace quillmate
