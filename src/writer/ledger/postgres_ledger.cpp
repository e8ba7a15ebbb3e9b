// The series ledger in PostgreSQL: reservations as one locked transaction, rows read back checked,
// and a connection that broke opened anew on the next call.
#include "writer/ledger/postgres_ledger.h"

#include <QCoreApplication>
#include <QUuid>

#include <chrono>
#include <thread>
#include <utility>

#include "writer/ledger/postgres_connection.h"
#include "writer/ledger/postgres_rows.h"
#include "writer/ledger/postgres_schema.h"

namespace quillmate {
namespace {

struct Texts {
  Q_DECLARE_TR_FUNCTIONS(PostgresLedger)
};

using Params = std::vector<std::optional<QByteArray>>;

QByteArray Utf8(const QString &text) {
  return text.toUtf8();
}

// Reservations that lost a race (a serialization failure, a deadlock) are tried again this often.
constexpr int kReserveAttempts = 3;
// How long a station waits for the server process of a connection that broke during COMMIT to end,
// after which the reservation's outcome is certain.
constexpr auto kSettleBound = std::chrono::seconds(5);

class PostgresLedger final : public SeriesLedger {
 public:
  explicit PostgresLedger(std::unique_ptr<PostgresConnection> connection)
      : connection_(std::move(connection)) {}

  QString Name() const override { return connection_->Name(); }

  Reservation Reserve(const QString &series, const QString &start,
                      const std::function<Plan(const QString &next)> &plan, const LedgerEntry &who,
                      bool reissue) override;
  bool Finish(std::int64_t id, const QByteArray &uid, LedgerResult result) override;
  bool Return(std::int64_t id, const QString &value, const QString &next) override;
  bool SetNext(const QString &series, const QString &value) override;
  std::optional<QString> Next(const QString &series) override;
  std::optional<std::vector<LedgerEntry>> Holding(const QString &series,
                                                  const QString &value) override;
  std::optional<std::vector<LedgerEntry>> Entries(const QString &series) override;
  std::optional<QStringList> SeriesNames() override;

 private:
  // How one attempt at a transaction ended.
  enum class Step { kDone, kRetry, kLost, kFailed };

  bool Connect(bool *opened);
  // Runs one statement that may safely run twice; a connection from before this call that turns
  // out broken (the server restarted since) is opened anew once and the statement repeated.
  std::optional<PgAnswer> Query(const char *sql, const Params &params);
  void Fail(const PgAnswer &answer);
  std::optional<std::vector<LedgerEntry>> Rows(const PgAnswer &answer);
  Step TryReserve(const QString &series, const QString &start,
                  const std::function<Plan(const QString &next)> &plan, const LedgerEntry &who,
                  bool reissue, const QByteArray &token, bool *commit_sent,
                  Reservation *reservation);
  Step Settle(const QByteArray &token, bool commit_sent, int old_backend, Reservation *reservation);
  Step TryReturn(std::int64_t id, const QString &value, const QString &next);

  std::unique_ptr<PostgresConnection> connection_;
  PgAnswer last_;  // the answer that ended the last attempt that did not succeed
};

bool PostgresLedger::Connect(bool *opened) {
  QString reason;
  if (connection_->Ensure(&reason, opened)) return true;
  SetFailure(Texts::tr("Die Datenbank %1 ist nicht erreichbar: %2").arg(Name(), reason));
  return false;
}

void PostgresLedger::Fail(const PgAnswer &answer) {
  switch (answer.kind) {
    case PgAnswer::Kind::kRefused:
      SetFailure(
          Texts::tr("Die Datenbank %1 hat die Anfrage abgelehnt: %2").arg(Name(), answer.reason));
      break;
    case PgAnswer::Kind::kTimedOut:
      SetFailure(Texts::tr("Die Datenbank %1 antwortet nicht: %2").arg(Name(), answer.reason));
      break;
    case PgAnswer::Kind::kLost:
    case PgAnswer::Kind::kOk:
      SetFailure(Texts::tr("Die Verbindung zur Datenbank %1 ist abgebrochen: %2")
                     .arg(Name(), answer.reason));
      break;
  }
}

std::optional<PgAnswer> PostgresLedger::Query(const char *sql, const Params &params) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool opened = false;
    if (!Connect(&opened)) return std::nullopt;
    PgAnswer answer = connection_->Run(sql, params);
    if (answer.ok()) {
      SetFailure({});
      return answer;
    }
    if (answer.kind == PgAnswer::Kind::kLost && !opened) continue;
    Fail(answer);
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::vector<LedgerEntry>> PostgresLedger::Rows(const PgAnswer &answer) {
  std::vector<LedgerEntry> entries;
  for (int row = 0; row < answer.Rows(); ++row) {
    LedgerRowFields fields;
    for (int column = 0; column < kLedgerRowColumnCount; ++column)
      fields[static_cast<std::size_t>(column)] = answer.Field(row, column);
    std::optional<LedgerEntry> entry = LedgerEntryFromRow(fields);
    if (!entry) {
      SetFailure(Texts::tr("Die Datenbank %1 enthält einen ungültigen Eintrag im Serienbuch (Nr. "
                           "%2).")
                     .arg(Name(), QString::fromUtf8(fields[0].value_or("?"))));
      return std::nullopt;
    }
    entries.push_back(std::move(*entry));
  }
  return entries;
}

SeriesLedger::Reservation PostgresLedger::Reserve(
    const QString &series, const QString &start,
    const std::function<Plan(const QString &next)> &plan, const LedgerEntry &who, bool reissue) {
  // Chosen here, stored with the row: after a connection broke during COMMIT, the station asks
  // whether a row with its token exists instead of guessing.
  const QByteArray token = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
  SetFailure({});
  last_ = {};
  for (int attempt = 0; attempt < kReserveAttempts; ++attempt) {
    if (!Connect(nullptr)) return {};
    const int backend = connection_->BackendPid();
    bool commit_sent = false;
    Reservation reservation;
    Step step = TryReserve(series, start, plan, who, reissue, token, &commit_sent, &reservation);
    // The connection broke (also: the server restarted since the last call): whether the row was
    // stored decides, never a guess. A row surely not stored is tried again on a new connection.
    if (step == Step::kLost) step = Settle(token, commit_sent, backend, &reservation);
    if (step == Step::kDone) {
      SetFailure({});
      return reservation;
    }
    if (step != Step::kRetry) break;
  }
  if (Failure().isEmpty()) Fail(last_);
  return {};
}

PostgresLedger::Step PostgresLedger::TryReserve(
    const QString &series, const QString &start,
    const std::function<Plan(const QString &next)> &plan, const LedgerEntry &who, bool reissue,
    const QByteArray &token, bool *commit_sent, Reservation *reservation) {
  // Each statement's answer: on a refusal the transaction is rolled back and the attempt ends.
  Step ended = Step::kFailed;
  const auto run = [&](const char *sql, const Params &params) -> std::optional<PgAnswer> {
    PgAnswer answer = connection_->Run(sql, params);
    if (answer.ok()) return answer;
    last_ = answer;
    if (answer.kind != PgAnswer::Kind::kRefused) {
      ended = Step::kLost;
      return std::nullopt;
    }
    connection_->RollBack();
    // A race another station won: a unique violation (its value is then seen as held), a
    // serialization failure or a deadlock.
    const bool race = answer.sqlstate == QLatin1String("23505") ||
                      answer.sqlstate == QLatin1String("40001") ||
                      answer.sqlstate == QLatin1String("40P01");
    ended = race ? Step::kRetry : Step::kFailed;
    return std::nullopt;
  };
  const QByteArray name = Utf8(series);
  if (!run("BEGIN", {})) return ended;
  constexpr char kLockSeries[] =
      "SELECT next_value FROM quillmate_series WHERE name = $1 FOR UPDATE";
  std::optional<PgAnswer> locked = run(kLockSeries, {name});
  if (!locked) return ended;
  if (locked->Rows() == 0) {
    // A series no station has used yet starts at `start`; of two stations starting it at once,
    // the second waits for the first and then reads its row.
    if (!run("INSERT INTO quillmate_series (name, next_value) VALUES ($1, $2) "
             "ON CONFLICT (name) DO NOTHING",
             {name, Utf8(start)}))
      return ended;
    locked = run(kLockSeries, {name});
    if (!locked) return ended;
  }
  const Plan chosen = plan(QString::fromUtf8(locked->Field(0, 0).value_or(QByteArray())));
  reservation->plan = chosen;
  const QByteArray value = Utf8(chosen.value);
  const std::optional<PgAnswer> holding =
      run((QByteArray("SELECT ") + kLedgerRowColumns +
           " FROM quillmate_ledger WHERE series = $1 AND value = $2 AND result <> 'returned' "
           "ORDER BY id")
              .constData(),
          {name, value});
  if (!holding) return ended;
  const std::optional<std::vector<LedgerEntry>> earlier = Rows(*holding);
  if (!earlier) {
    connection_->RollBack();
    return Step::kFailed;
  }
  if (!earlier->empty() && !reissue) {
    connection_->RollBack();
    reservation->outcome = Reservation::Outcome::kHeld;
    reservation->earlier = *earlier;
    return Step::kDone;
  }
  const std::optional<QByteArray> reserved_at =
      who.reserved_at.isValid()
          ? std::optional<QByteArray>(who.reserved_at.toUTC().toString(Qt::ISODateWithMs).toUtf8())
          : std::nullopt;
  // The card's UID, when the station knows it already, is stored with the reservation: a station
  // that dies before it finishes the card leaves a row that names the card that may hold the value.
  const std::optional<PgAnswer> inserted =
      run((QByteArray("INSERT INTO quillmate_ledger (series, value, station, operator_name, "
                      "reserved_at, job_fingerprint, result, reissue, token, uid) VALUES ($1, $2, "
                      "$3, $4, coalesce($5::timestamptz, now()), $6, 'reserved', $7, $8, "
                      "decode($9, 'hex')) RETURNING ") +
           kLedgerRowColumns)
              .constData(),
          {name, value, Utf8(who.station), Utf8(who.operator_name), reserved_at,
           Utf8(who.job_fingerprint), QByteArray(earlier->empty() ? "f" : "t"), token,
           who.uid.toHex()});
  if (!inserted) return ended;
  const std::optional<std::vector<LedgerEntry>> row = Rows(*inserted);
  if (!row || row->size() != 1) {
    connection_->RollBack();
    if (row) last_.reason = Texts::tr("die neue Zeile kam nicht zurück");
    return Step::kFailed;
  }
  if (!run("UPDATE quillmate_series SET next_value = $2 WHERE name = $1",
           {name, Utf8(chosen.next)}))
    return ended;
  *commit_sent = true;
  const std::optional<PgAnswer> committed = run("COMMIT", {});
  if (!committed) return ended;
  reservation->outcome = Reservation::Outcome::kReserved;
  reservation->entry = row->front();
  return Step::kDone;
}

PostgresLedger::Step PostgresLedger::Settle(const QByteArray &token, bool commit_sent,
                                            int old_backend, Reservation *reservation) {
  bool opened = false;
  if (!connection_->Ensure(nullptr, &opened)) {
    if (!commit_sent) return Step::kRetry;  // never committed: surely no row
    last_.reason += QLatin1String("; ") +
                    Texts::tr("ob der Wert vergeben wurde, ist offen; er wird nicht verwendet");
    return Step::kFailed;
  }
  if (commit_sent && old_backend != 0) {
    // The old connection's server process may still be finishing the COMMIT: end it and wait
    // until it is gone, after which the row is either stored or never will be.
    const QByteArray pid = QByteArray::number(old_backend);
    connection_->Run(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
        "WHERE pid = $1 AND usename = current_user",
        {pid});
    const auto deadline = std::chrono::steady_clock::now() + kSettleBound;
    for (;;) {
      const PgAnswer alive = connection_->Run(
          "SELECT 1 FROM pg_stat_activity WHERE pid = $1 AND usename = current_user", {pid});
      if (!alive.ok()) {
        last_ = alive;
        return Step::kFailed;
      }
      if (alive.Rows() == 0) break;
      if (std::chrono::steady_clock::now() >= deadline) {
        last_.reason += QLatin1String("; ") +
                        Texts::tr("ob der Wert vergeben wurde, ist offen; er wird nicht verwendet");
        return Step::kFailed;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  const PgAnswer found = connection_->Run(
      (QByteArray("SELECT ") + kLedgerRowColumns + " FROM quillmate_ledger WHERE token = $1")
          .constData(),
      {token});
  if (!found.ok()) {
    last_ = found;
    return Step::kFailed;
  }
  const std::optional<std::vector<LedgerEntry>> rows = Rows(found);
  if (!rows) return Step::kFailed;
  if (rows->empty()) return Step::kRetry;
  reservation->outcome = Reservation::Outcome::kReserved;
  reservation->entry = rows->front();
  return Step::kDone;
}

bool PostgresLedger::Finish(std::int64_t id, const QByteArray &uid, LedgerResult result) {
  if (result != LedgerResult::kWritten && result != LedgerResult::kVerified &&
      result != LedgerResult::kFailed) {
    SetFailure(Texts::tr("Ein Eintrag im Serienbuch kann nicht als „%1“ abgeschlossen werden.")
                   .arg(LedgerResultWord(result)));
    return false;
  }
  const QByteArray word = Utf8(LedgerResultWord(result));
  const QByteArray hex = uid.toHex();
  // Finishing the same row the same way again is no fault: the answer to the first may have been
  // lost with the connection.
  const std::optional<PgAnswer> answer = Query(
      "UPDATE quillmate_ledger SET uid = decode($2, 'hex'), result = $3, "
      "finished_at = coalesce(finished_at, now()) WHERE id = $1 AND (result = 'reserved' OR "
      "(result = $3 AND uid = decode($2, 'hex'))) RETURNING id",
      {QByteArray::number(static_cast<qlonglong>(id)), hex, word});
  if (!answer) return false;
  if (answer->Rows() != 1) {
    SetFailure(Texts::tr("In der Datenbank %1 ist der Eintrag %2 des Serienbuchs nicht reserviert.")
                   .arg(Name())
                   .arg(id));
    return false;
  }
  return true;
}

bool PostgresLedger::Return(std::int64_t id, const QString &value, const QString &next) {
  SetFailure({});
  last_ = {};
  // A broken connection is tried once more: the transaction either never committed, or it did
  // and the row now reads "returned", which counts as done.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!Connect(nullptr)) return false;
    const Step step = TryReturn(id, value, next);
    if (step == Step::kDone) return true;
    if (step != Step::kLost) break;
  }
  if (Failure().isEmpty()) Fail(last_);
  return false;
}

PostgresLedger::Step PostgresLedger::TryReturn(std::int64_t id, const QString &value,
                                               const QString &next) {
  const auto run = [&](const char *sql, const Params &params) -> std::optional<PgAnswer> {
    PgAnswer answer = connection_->Run(sql, params);
    if (answer.ok()) return answer;
    last_ = answer;
    if (answer.kind == PgAnswer::Kind::kRefused) connection_->RollBack();
    return std::nullopt;
  };
  const auto ended = [&] {
    return last_.kind == PgAnswer::Kind::kRefused ? Step::kFailed : Step::kLost;
  };
  const QByteArray row_id = QByteArray::number(static_cast<qlonglong>(id));
  if (!run("BEGIN", {})) return ended();
  // The row first, then its series: the same order as nowhere else takes both, so no deadlock.
  const std::optional<PgAnswer> row =
      run("SELECT series, value, result FROM quillmate_ledger WHERE id = $1 FOR UPDATE", {row_id});
  if (!row) return ended();
  const QByteArray result = row->Field(0, 2).value_or(QByteArray());
  if (result == "returned" && row->Field(0, 1) == Utf8(value)) {
    connection_->RollBack();
    return Step::kDone;
  }
  if (row->Rows() != 1 || result != "reserved" || row->Field(0, 1) != Utf8(value)) {
    connection_->RollBack();
    SetFailure(Texts::tr("In der Datenbank %1 ist der Eintrag %2 des Serienbuchs nicht mit dem "
                         "Wert %3 reserviert.")
                   .arg(Name())
                   .arg(id)
                   .arg(value));
    return Step::kFailed;
  }
  const QByteArray series = row->Field(0, 0).value_or(QByteArray());
  const std::optional<PgAnswer> current =
      run("SELECT next_value FROM quillmate_series WHERE name = $1 FOR UPDATE", {series});
  if (!current) return ended();
  if (!run("UPDATE quillmate_ledger SET result = 'returned', finished_at = now() WHERE id = $1",
           {row_id}))
    return ended();
  // Only while no station reserved since does the value become the next again; otherwise it
  // stays a gap in the numbers.
  if (current->Field(0, 0) == Utf8(next) &&
      !run("UPDATE quillmate_series SET next_value = $2 WHERE name = $1", {series, Utf8(value)}))
    return ended();
  if (!run("COMMIT", {})) return ended();
  return Step::kDone;
}

bool PostgresLedger::SetNext(const QString &series, const QString &value) {
  return Query(
             "INSERT INTO quillmate_series (name, next_value) VALUES ($1, $2) "
             "ON CONFLICT (name) DO UPDATE SET next_value = excluded.next_value",
             {Utf8(series), Utf8(value)})
      .has_value();
}

std::optional<QString> PostgresLedger::Next(const QString &series) {
  const std::optional<PgAnswer> answer =
      Query("SELECT next_value FROM quillmate_series WHERE name = $1", {Utf8(series)});
  if (!answer || answer->Rows() == 0) return std::nullopt;
  return QString::fromUtf8(answer->Field(0, 0).value_or(QByteArray()));
}

std::optional<std::vector<LedgerEntry>> PostgresLedger::Holding(const QString &series,
                                                                const QString &value) {
  const std::optional<PgAnswer> answer =
      Query((QByteArray("SELECT ") + kLedgerRowColumns +
             " FROM quillmate_ledger WHERE series = $1 AND value = $2 AND result <> 'returned' "
             "ORDER BY id")
                .constData(),
            {Utf8(series), Utf8(value)});
  if (!answer) return std::nullopt;
  return Rows(*answer);
}

std::optional<std::vector<LedgerEntry>> PostgresLedger::Entries(const QString &series) {
  const std::optional<PgAnswer> answer =
      Query((QByteArray("SELECT ") + kLedgerRowColumns +
             " FROM quillmate_ledger WHERE series = $1 ORDER BY id")
                .constData(),
            {Utf8(series)});
  if (!answer) return std::nullopt;
  return Rows(*answer);
}

std::optional<QStringList> PostgresLedger::SeriesNames() {
  const std::optional<PgAnswer> answer =
      Query("SELECT name FROM quillmate_series ORDER BY name COLLATE \"C\"", {});
  if (!answer) return std::nullopt;
  QStringList names;
  for (int row = 0; row < answer->Rows(); ++row)
    names.append(QString::fromUtf8(answer->Field(row, 0).value_or(QByteArray())));
  return names;
}

}  // namespace

std::unique_ptr<SeriesLedger> OpenPostgresLedger(const QString &conninfo, QString *failure) {
  std::unique_ptr<PostgresConnection> connection = PostgresConnection::Parse(conninfo, failure);
  if (!connection) return nullptr;
  QString reason;
  if (!connection->Ensure(&reason)) {
    if (failure) {
      *failure =
          Texts::tr("Die Datenbank %1 ist nicht erreichbar: %2").arg(connection->Name(), reason);
    }
    return nullptr;
  }
  if (!EnsurePostgresSchema(*connection, failure)) return nullptr;
  return std::make_unique<PostgresLedger>(std::move(connection));
}

}  // namespace quillmate
