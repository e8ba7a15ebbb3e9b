// The series ledger in PostgreSQL, against a server of the test's own (tests/support/
// postgres_server.h): the schema made and upgraded, held values and reissues, returned values,
// stations reserving at once from several processes, and a server that stops and starts again.
#include "writer/ledger/postgres_ledger.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "support/postgres_server.h"
#include "writer/ledger/postgres_rows.h"

namespace quillmate {
namespace {

using Outcome = SeriesLedger::Reservation::Outcome;

// Counts up by one: the value the card gets is the series' next.
SeriesLedger::Plan CountUp(const QString &next) {
  return {next, QString::number(next.toLongLong() + 1)};
}

LedgerEntry Station(const QString &station = QStringLiteral("bench-1/quillmate-cli")) {
  LedgerEntry who;
  who.station = station;
  who.operator_name = QStringLiteral("anna");
  who.job_fingerprint = QStringLiteral("5e1f");
  return who;
}

class PostgresLedgerTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new kovra_test::PostgresServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    if (!server_->Missing().empty()) GTEST_SKIP() << server_->Missing();
    if (!server_->Running()) {
      ASSERT_TRUE(server_->Start()) << server_->Failure();
    }
    database_ = "ledger_" + std::to_string(++databases_);
    ASSERT_TRUE(server_->CreateDatabase(database_));
  }

  QString Conninfo() const { return QString::fromStdString(server_->Conninfo(database_)); }
  std::unique_ptr<SeriesLedger> Open() {
    QString failure;
    std::unique_ptr<SeriesLedger> ledger = OpenPostgresLedger(Conninfo(), &failure);
    EXPECT_TRUE(ledger) << failure.toStdString();
    return ledger;
  }
  std::string Sql(const std::string &sql) {
    return server_->Psql(sql, database_).value_or("<failed>");
  }

  static inline kovra_test::PostgresServer *server_ = nullptr;
  static inline int databases_ = 0;
  std::string database_;
};

TEST_F(PostgresLedgerTest, MakesItsTablesOnFirstUseWithTheirVersion) {
  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_TRUE(ledger);
  EXPECT_EQ(Sql("SELECT version FROM quillmate_schema"), "2");
  EXPECT_EQ(ledger->Name(),
            QStringLiteral("PostgreSQL %1 (%2)")
                .arg(QString::fromStdString(database_), QString::fromStdString(server_->Folder())));
  // A second station finds them and changes nothing.
  EXPECT_TRUE(Open());
  EXPECT_EQ(Sql("SELECT count(*) FROM quillmate_schema"), "1");
}

TEST_F(PostgresLedgerTest, UpgradesAnOldLedgerAndKeepsItsRows) {
  // A ledger as the first version left it: no reservation tokens yet.
  ASSERT_NE(Sql("CREATE TABLE quillmate_schema (version integer NOT NULL);"
                "INSERT INTO quillmate_schema VALUES (1);"
                "CREATE TABLE quillmate_series (name text PRIMARY KEY, next_value text NOT NULL);"
                "CREATE TABLE quillmate_ledger (id bigserial PRIMARY KEY, series text NOT NULL "
                "REFERENCES quillmate_series (name), value text NOT NULL, uid bytea NOT NULL "
                "DEFAULT ''::bytea, station text NOT NULL, operator_name text NOT NULL, "
                "reserved_at timestamptz NOT NULL, finished_at timestamptz, job_fingerprint text "
                "NOT NULL, result text NOT NULL CHECK (result IN ('reserved', 'written', "
                "'verified', 'failed', 'returned')), reissue boolean NOT NULL DEFAULT false);"
                "CREATE UNIQUE INDEX quillmate_ledger_value_once ON quillmate_ledger (series, "
                "value) WHERE NOT reissue AND result <> 'returned';"
                "CREATE INDEX quillmate_ledger_value ON quillmate_ledger (series, value);"
                "INSERT INTO quillmate_series VALUES ('s', '8');"
                "INSERT INTO quillmate_ledger (series, value, uid, station, operator_name, "
                "reserved_at, finished_at, job_fingerprint, result) VALUES ('s', '7', "
                "'\\x04a1b2c3d4e5f6', 'old/quillmate', 'bert', '2026-01-02 03:04:05+00', "
                "'2026-01-02 03:04:06+00', 'ab', 'verified')"),
            "<failed>");
  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_TRUE(ledger);
  EXPECT_EQ(Sql("SELECT version FROM quillmate_schema"), "2");
  const auto entries = ledger->Entries(QStringLiteral("s"));
  ASSERT_TRUE(entries && entries->size() == 1u);
  EXPECT_EQ(entries->front().value, QStringLiteral("7"));
  EXPECT_EQ(entries->front().uid, QByteArray::fromHex("04a1b2c3d4e5f6"));
  EXPECT_EQ(entries->front().result, LedgerResult::kVerified);
  EXPECT_EQ(entries->front().reserved_at, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));
  const auto next =
      ledger->Reserve(QStringLiteral("s"), QStringLiteral("1"), CountUp, Station(), false);
  ASSERT_EQ(next.outcome, Outcome::kReserved) << ledger->Failure().toStdString();
  EXPECT_EQ(next.entry.value, QStringLiteral("8"));
}

TEST_F(PostgresLedgerTest, RefusesALedgerOfANewerVersionNamingTheDatabase) {
  ASSERT_NE(Sql("CREATE TABLE quillmate_schema (version integer NOT NULL);"
                "INSERT INTO quillmate_schema VALUES (99)"),
            "<failed>");
  QString failure;
  EXPECT_FALSE(OpenPostgresLedger(Conninfo(), &failure));
  EXPECT_TRUE(failure.contains(QString::fromStdString(database_))) << failure.toStdString();
  EXPECT_TRUE(failure.contains(QStringLiteral("Version 99"))) << failure.toStdString();
  EXPECT_EQ(Sql("SELECT to_regclass('quillmate_ledger') IS NULL"), "t");
}

TEST_F(PostgresLedgerTest, AHeldValueIsRefusedUnlessReissuedAsARowOfItsOwn) {
  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_TRUE(ledger);
  const QString series = QStringLiteral("A1B2C3/1/job.ini");
  LedgerEntry on_card = Station();
  on_card.uid = QByteArray::fromHex("04112233445566");
  const auto first = ledger->Reserve(series, QStringLiteral("41"), CountUp, on_card, false);
  ASSERT_EQ(first.outcome, Outcome::kReserved) << ledger->Failure().toStdString();
  EXPECT_EQ(first.entry.value, QStringLiteral("41"));
  EXPECT_EQ(first.entry.result, LedgerResult::kReserved);
  // The card is named from the reservation on, so a station that dies now leaves its UID.
  EXPECT_EQ(first.entry.uid, on_card.uid);
  ASSERT_TRUE(ledger->Finish(first.entry.id, QByteArray::fromHex("04112233445566"),
                             LedgerResult::kVerified));
  EXPECT_EQ(ledger->Next(series), QStringLiteral("42"));

  // An operator rewinds the series by hand.
  ASSERT_TRUE(ledger->SetNext(series, QStringLiteral("41")));
  const auto held = ledger->Reserve(series, QStringLiteral("41"), CountUp, Station(), false);
  ASSERT_EQ(held.outcome, Outcome::kHeld);
  ASSERT_EQ(held.earlier.size(), 1u);
  EXPECT_EQ(held.earlier.front().uid, QByteArray::fromHex("04112233445566"));
  EXPECT_TRUE(held.earlier.front().finished_at.isValid());
  EXPECT_EQ(ledger->Next(series), QStringLiteral("41"));

  const auto again = ledger->Reserve(series, QStringLiteral("41"), CountUp,
                                     Station(QStringLiteral("bench-2/quillmate")), true);
  ASSERT_EQ(again.outcome, Outcome::kReserved) << ledger->Failure().toStdString();
  EXPECT_TRUE(again.entry.reissue);
  EXPECT_EQ(again.entry.value, QStringLiteral("41"));
  const auto holding = ledger->Holding(series, QStringLiteral("41"));
  ASSERT_TRUE(holding);
  EXPECT_EQ(holding->size(), 2u);
  // Without the lock, too, the database itself refuses an ordinary second row of a held value.
  EXPECT_EQ(server_->Psql("INSERT INTO quillmate_ledger (series, value, station, operator_name, "
                          "reserved_at, job_fingerprint, result) VALUES ('" +
                              series.toStdString() + "', '41', 'x', 'y', now(), 'z', 'reserved')",
                          database_),
            std::nullopt);
  // A value never given out is no reissue even when one is asked for.
  ASSERT_TRUE(ledger->SetNext(series, QStringLiteral("50")));
  const auto fresh = ledger->Reserve(series, QStringLiteral("41"), CountUp, Station(), true);
  ASSERT_EQ(fresh.outcome, Outcome::kReserved);
  EXPECT_FALSE(fresh.entry.reissue);
  const auto summary = SummariseLedger(series, *ledger->Entries(series));
  EXPECT_EQ(summary.reissues, 1);
  EXPECT_EQ(summary.gaps, 2);
}

TEST_F(PostgresLedgerTest, ReturnPutsTheValueBackOnlyWhileNoStationReservedSince) {
  struct Case {
    const char *name;
    bool reserve_since;     // another card was reserved after this one
    bool finish_first;      // the card was finished before it is returned
    const char *value;      // the value Return names
    bool returned;          // Return went through
    const char *next_then;  // the series' next afterwards
  };
  const Case cases[] = {
      {"nothing since", false, false, "10", true, "10"},
      {"another since", true, false, "10", true, "12"},
      {"finished", false, true, "10", false, "11"},
      {"another value", false, false, "11", false, "11"},
  };
  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_TRUE(ledger);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const QString series = QString::fromLatin1(c.name);
    const auto reserved = ledger->Reserve(series, QStringLiteral("10"), CountUp, Station(), false);
    ASSERT_EQ(reserved.outcome, Outcome::kReserved);
    if (c.reserve_since) {
      ASSERT_EQ(ledger->Reserve(series, {}, CountUp, Station(), false).outcome, Outcome::kReserved);
    }
    if (c.finish_first) {
      ASSERT_TRUE(
          ledger->Finish(reserved.entry.id, QByteArray::fromHex("04"), LedgerResult::kWritten));
    }
    EXPECT_EQ(ledger->Return(reserved.entry.id, QString::fromLatin1(c.value), QStringLiteral("11")),
              c.returned);
    if (!c.returned) {
      EXPECT_TRUE(ledger->Failure().contains(ledger->Name()));
    }
    EXPECT_EQ(ledger->Next(series), QString::fromLatin1(c.next_then));
    const auto holding = ledger->Holding(series, QStringLiteral("10"));
    ASSERT_TRUE(holding);
    EXPECT_EQ(holding->empty(), c.returned);
  }
}

TEST_F(PostgresLedgerTest, StationsReservingAtOnceNeverGetOneValueTwice) {
  ASSERT_TRUE(Open());
  constexpr int kStations = 4;
  constexpr int kEach = 40;
  std::vector<pid_t> children;
  for (int station = 0; station < kStations; ++station) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      QString failure;
      std::unique_ptr<SeriesLedger> ledger = OpenPostgresLedger(Conninfo(), &failure);
      if (!ledger) _exit(2);
      for (int i = 0; i < kEach; ++i) {
        const auto reserved =
            ledger->Reserve(QStringLiteral("shared"), QStringLiteral("1000"), CountUp,
                            Station(QStringLiteral("bench-%1/quillmate-cli").arg(station)), false);
        if (reserved.outcome != Outcome::kReserved) _exit(3);
        if (!ledger->Finish(reserved.entry.id, QByteArray(7, static_cast<char>(station)),
                            LedgerResult::kVerified))
          _exit(4);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(Sql("SELECT count(*), count(DISTINCT value), min(value::int), max(value::int), "
                "count(DISTINCT station) FROM quillmate_ledger WHERE result = 'verified'"),
            "160|160|1000|1159|4");
  EXPECT_EQ(Sql("SELECT next_value FROM quillmate_series"), "1160");
}

TEST_F(PostgresLedgerTest, AServerThatStopsFailsTheCallNamingItAndIsUsedAgainOnceBack) {
  struct Case {
    const char *name;
    bool crash;
  };
  for (const Case &c : {Case{"shut down", false}, Case{"crashed", true}}) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<SeriesLedger> ledger = Open();
    ASSERT_TRUE(ledger);
    const QString series = QString::fromLatin1(c.name);
    for (int i = 0; i < 3; ++i)
      ASSERT_EQ(ledger->Reserve(series, QStringLiteral("1"), CountUp, Station(), false).outcome,
                Outcome::kReserved);

    server_->Stop(c.crash);
    const auto started = std::chrono::steady_clock::now();
    const auto down = ledger->Reserve(series, QStringLiteral("1"), CountUp, Station(), false);
    EXPECT_EQ(down.outcome, Outcome::kFailed);
    EXPECT_TRUE(ledger->Failure().contains(ledger->Name())) << ledger->Failure().toStdString();
    EXPECT_FALSE(ledger->Next(series));
    EXPECT_TRUE(ledger->Failure().contains(QStringLiteral("nicht erreichbar")))
        << ledger->Failure().toStdString();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));

    ASSERT_TRUE(server_->Start()) << server_->Failure();
    const auto back = ledger->Reserve(series, QStringLiteral("1"), CountUp, Station(), false);
    ASSERT_EQ(back.outcome, Outcome::kReserved) << ledger->Failure().toStdString();
    EXPECT_EQ(back.entry.value, QStringLiteral("4"));
    EXPECT_TRUE(ledger->Failure().isEmpty());
    // A server restarted between two calls: the station's old connection is dead, the call
    // goes through on a new one.
    server_->Stop(c.crash);
    ASSERT_TRUE(server_->Start()) << server_->Failure();
    const auto after = ledger->Reserve(series, QStringLiteral("1"), CountUp, Station(), false);
    ASSERT_EQ(after.outcome, Outcome::kReserved) << ledger->Failure().toStdString();
    EXPECT_EQ(after.entry.value, QStringLiteral("5"));
    EXPECT_EQ(Sql("SELECT count(*), count(DISTINCT value) FROM quillmate_ledger WHERE series = '" +
                  series.toStdString() + "'"),
              "5|5");
  }
}

TEST_F(PostgresLedgerTest, AServerProcessThatStopsAnsweringHoldsTheStationOnlyUpToTheBound) {
  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_TRUE(ledger);
  ASSERT_EQ(
      ledger->Reserve(QStringLiteral("s"), QStringLiteral("1"), CountUp, Station(), false).outcome,
      Outcome::kReserved);
  // The server process behind the station's connection hangs (as behind a dead network link).
  const std::string backend = Sql("SELECT pid FROM pg_stat_activity WHERE datname = '" + database_ +
                                  "' AND application_name = 'quillmate'");
  ASSERT_GT(std::atoi(backend.c_str()), 0) << backend;
  ASSERT_EQ(kill(std::atoi(backend.c_str()), SIGSTOP), 0);
  const auto started = std::chrono::steady_clock::now();
  const auto reserved =
      ledger->Reserve(QStringLiteral("s"), QStringLiteral("1"), CountUp, Station(), false);
  const auto waited = std::chrono::steady_clock::now() - started;
  kill(std::atoi(backend.c_str()), SIGCONT);
  // It gave up on the silent connection after the answer bound and reserved on a new one.
  EXPECT_LT(waited, std::chrono::seconds(20));
  EXPECT_GE(waited, std::chrono::seconds(9));
  ASSERT_EQ(reserved.outcome, Outcome::kReserved) << ledger->Failure().toStdString();
  EXPECT_EQ(reserved.entry.value, QStringLiteral("2"));
  EXPECT_EQ(Sql("SELECT count(*), count(DISTINCT value) FROM quillmate_ledger"), "2|2");
}

TEST_F(PostgresLedgerTest, AReservationWhoseCommitDiedIsKnownNotStoredAndTriedAgain) {
  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_TRUE(ledger);
  // The first COMMIT that stores a row ends its own server process, as a crash at that moment
  // would: the station sent COMMIT and hears nothing back.
  ASSERT_NE(Sql("CREATE SEQUENCE die_once;"
                "CREATE FUNCTION die_at_commit() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "IF nextval('die_once') = 1 THEN PERFORM pg_terminate_backend(pg_backend_pid()); "
                "PERFORM pg_sleep(1); END IF; RETURN NULL; END $$;"
                "CREATE CONSTRAINT TRIGGER die AFTER INSERT ON quillmate_ledger "
                "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION die_at_commit()"),
            "<failed>");
  const auto reserved =
      ledger->Reserve(QStringLiteral("s"), QStringLiteral("7"), CountUp, Station(), false);
  ASSERT_EQ(reserved.outcome, Outcome::kReserved) << ledger->Failure().toStdString();
  EXPECT_EQ(reserved.entry.value, QStringLiteral("7"));
  EXPECT_EQ(Sql("SELECT nextval('die_once')"), "3");  // the trigger ran twice
  EXPECT_EQ(Sql("SELECT string_agg(value, ',') FROM quillmate_ledger"), "7");
  EXPECT_EQ(Sql("SELECT next_value FROM quillmate_series"), "8");
}

TEST_F(PostgresLedgerTest, AReadOnlyDatabaseStopsTheStationWithTheReason) {
  ASSERT_TRUE(Open());
  ASSERT_NE(Sql("ALTER DATABASE " + database_ + " SET default_transaction_read_only = on"),
            "<failed>");
  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_TRUE(ledger);
  const auto refused =
      ledger->Reserve(QStringLiteral("s"), QStringLiteral("1"), CountUp, Station(), false);
  EXPECT_EQ(refused.outcome, Outcome::kFailed);
  EXPECT_TRUE(ledger->Failure().contains(ledger->Name())) << ledger->Failure().toStdString();
  EXPECT_TRUE(ledger->Failure().contains(QStringLiteral("read-only")))
      << ledger->Failure().toStdString();
  EXPECT_FALSE(ledger->SetNext(QStringLiteral("s"), QStringLiteral("5")));
  EXPECT_EQ(ledger->SeriesNames(), QStringList());
}

TEST_F(PostgresLedgerTest, AnUnreachableOrMalformedDatabaseIsNamedWithoutItsPassword) {
  struct Case {
    QString conninfo;
    QString named;  // the failure names this
  };
  const Case cases[] = {
      {QStringLiteral("host=/nonexistent/folder dbname=series password=geheim"),
       QStringLiteral("PostgreSQL series (/nonexistent/folder)")},
      {QStringLiteral("postgresql://anna:geheim@%2Fnonexistent%2Fsocket/line2"),
       QStringLiteral("PostgreSQL line2 (/nonexistent/socket)")},
      {QStringLiteral("host=/x password=geheim dbname"), QStringLiteral("ungültig")},
      {QStringLiteral("no_such_service_here"), QStringLiteral("no_such_service_here")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.conninfo.toStdString());
    QString failure;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(OpenPostgresLedger(c.conninfo, &failure));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(failure.contains(c.named)) << failure.toStdString();
    EXPECT_FALSE(failure.contains(QStringLiteral("geheim"))) << failure.toStdString();
  }
}

TEST(PostgresLedgerRows, ARowReadBackIsAcceptedOnlyAsTheSchemaAllows) {
  const LedgerRowFields good = {
      "12", "s",        "41", "04a1", "b/q", "anna", "1767323045000", "1767323046000",
      "ab", "verified", "f"};
  ASSERT_TRUE(LedgerEntryFromRow(good));
  EXPECT_EQ(LedgerEntryFromRow(good)->uid, QByteArray::fromHex("04a1"));
  struct Case {
    int column;
    std::optional<QByteArray> field;
  };
  const Case bad[] = {{0, "0"},    {0, "x"},      {1, std::nullopt}, {3, "4a1"},
                      {3, "zz"},   {6, "-1"},     {6, "soon"},       {7, std::nullopt},
                      {9, "lost"}, {10, "maybe"}, {7, "x"}};
  for (const Case &c : bad) {
    SCOPED_TRACE(c.column);
    LedgerRowFields fields = good;
    fields[static_cast<std::size_t>(c.column)] = c.field;
    EXPECT_FALSE(LedgerEntryFromRow(fields));
  }
  // A row still reserved has no finishing time.
  LedgerRowFields reserved = good;
  reserved[7] = std::nullopt;
  reserved[9] = "reserved";
  EXPECT_TRUE(LedgerEntryFromRow(reserved));
}

}  // namespace
}  // namespace quillmate
