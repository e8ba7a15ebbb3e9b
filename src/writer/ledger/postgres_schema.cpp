// The ledger's tables in PostgreSQL and their upgrades.
#include "writer/ledger/postgres_schema.h"

#include <QCoreApplication>

#include <array>

#include "writer/ledger/postgres_connection.h"

namespace quillmate {
namespace {

struct Texts {
  Q_DECLARE_TR_FUNCTIONS(PostgresLedger)
};

// The steps from one version to the next; step i makes version i + 1. Steps are only ever
// appended: a database of any earlier version is brought up to date by the steps it lacks.
constexpr std::array<const char *, kPostgresSchemaVersion> kSteps = {
    // 1: the series with their next value, and a row per value given out. A value is held by
    // every row of its series that was not returned; the partial unique index makes a second
    // ordinary row of a held value impossible, from whichever station it comes.
    "CREATE TABLE quillmate_series ("
    "  name text PRIMARY KEY,"
    "  next_value text NOT NULL);"
    "CREATE TABLE quillmate_ledger ("
    "  id bigserial PRIMARY KEY,"
    "  series text NOT NULL REFERENCES quillmate_series (name),"
    "  value text NOT NULL,"
    "  uid bytea NOT NULL DEFAULT ''::bytea,"
    "  station text NOT NULL,"
    "  operator_name text NOT NULL,"
    "  reserved_at timestamptz NOT NULL,"
    "  finished_at timestamptz,"
    "  job_fingerprint text NOT NULL,"
    "  result text NOT NULL CHECK (result IN"
    "    ('reserved', 'written', 'verified', 'failed', 'returned')),"
    "  reissue boolean NOT NULL DEFAULT false);"
    "CREATE UNIQUE INDEX quillmate_ledger_value_once ON quillmate_ledger (series, value)"
    "  WHERE NOT reissue AND result <> 'returned';"
    "CREATE INDEX quillmate_ledger_value ON quillmate_ledger (series, value);",
    // 2: the token a station chooses for each reservation, so that after a connection broke
    // during COMMIT it can ask whether its row was stored, instead of guessing.
    "ALTER TABLE quillmate_ledger ADD COLUMN token text;"
    "CREATE UNIQUE INDEX quillmate_ledger_token ON quillmate_ledger (token);",
};

// Any number, the same in every station: the lock that lets one station at a time set up tables.
constexpr char kSchemaLock[] = "SELECT pg_advisory_xact_lock(7318201626)";

}  // namespace

namespace {

// The version the database holds: 0 when it has no ledger yet; -1 when the question failed.
int HeldVersion(PostgresConnection &connection, QString *reason) {
  const PgAnswer table = connection.Run("SELECT to_regclass('quillmate_schema') IS NOT NULL");
  if (!table.ok()) {
    *reason = table.reason;
    return -1;
  }
  if (table.Field(0, 0) != QByteArray("t")) return 0;
  const PgAnswer held = connection.Run("SELECT coalesce(max(version), 0) FROM quillmate_schema");
  if (!held.ok()) {
    *reason = held.reason;
    return -1;
  }
  return held.Field(0, 0).value_or("0").toInt();
}

}  // namespace

bool EnsurePostgresSchema(PostgresConnection &connection, QString *failure) {
  QString reason;
  const auto refused = [&](const QString &why) {
    connection.RollBack();
    if (failure) {
      *failure = Texts::tr("Die Datenbank %1 kann das Serienbuch nicht anlegen: %2")
                     .arg(connection.Name(), why);
    }
    return false;
  };
  const auto newer = [&](int version) {
    connection.RollBack();
    if (failure) {
      *failure = Texts::tr(
                     "Die Datenbank %1 enthält das Serienbuch in Version %2; dieses "
                     "Programm kennt nur Version %3. Bitte das Programm aktualisieren.")
                     .arg(connection.Name())
                     .arg(version)
                     .arg(kPostgresSchemaVersion);
    }
    return false;
  };
  // The usual case writes nothing, so a station can also read a series from a read-only copy.
  int version = HeldVersion(connection, &reason);
  if (version < 0) return refused(reason);
  if (version > kPostgresSchemaVersion) return newer(version);
  if (version == kPostgresSchemaVersion) return true;

  for (const char *statement :
       {"BEGIN", kSchemaLock,
        "CREATE TABLE IF NOT EXISTS quillmate_schema (version integer NOT NULL)"}) {
    const PgAnswer answer = connection.Run(statement);
    if (!answer.ok()) return refused(answer.reason);
  }
  // Another station may have set the tables up while this one waited for the lock.
  version = HeldVersion(connection, &reason);
  if (version < 0) return refused(reason);
  if (version > kPostgresSchemaVersion) return newer(version);
  for (int step = version; step < kPostgresSchemaVersion; ++step) {
    const PgAnswer answer = connection.Run(kSteps[static_cast<std::size_t>(step)]);
    if (!answer.ok()) return refused(answer.reason);
  }
  const PgAnswer cleared = connection.Run("DELETE FROM quillmate_schema");
  if (!cleared.ok()) return refused(cleared.reason);
  const PgAnswer stored = connection.Run("INSERT INTO quillmate_schema (version) VALUES ($1)",
                                         {QByteArray::number(kPostgresSchemaVersion)});
  if (!stored.ok()) return refused(stored.reason);
  const PgAnswer committed = connection.Run("COMMIT");
  if (!committed.ok()) return refused(committed.reason);
  return true;
}

}  // namespace quillmate
