// The embedded series ledger on real SQLite files: rows and the series' next across a reopen, a
// value refused twice (also by the database itself), put back only while no station reserved
// since, files it must not start on, a lock held too long, and processes reserving at once.
#include "writer/ledger/sqlite_ledger.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <string>

namespace quillmate {
namespace {

constexpr char kSeries[] = "A1B2C3/3 /tmp/KV-DESFire Quillmate.ini";

// Today's counting: the value as it stands, the next one up by one.
SeriesLedger::Plan CountOn(const QString &next) {
  return {next, QString::number(next.toLongLong() + 1)};
}

LedgerEntry Who(const QString &station = QStringLiteral("bench-1/quillmate-cli")) {
  LedgerEntry who;
  who.station = station;
  who.operator_name = QStringLiteral("anna");
  who.job_fingerprint = QStringLiteral("ab12");
  return who;
}

mode_t ModeOf(const QString &path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
  return info.st_mode & 0777;
}

class SqliteLedgerTest : public testing::Test {
 protected:
  QString File() const { return dir_.filePath(QStringLiteral("Serie.ledger.sqlite")); }
  std::unique_ptr<SeriesLedger> Open() {
    QString failure;
    std::unique_ptr<SeriesLedger> ledger = OpenSqliteLedger(File(), &failure);
    EXPECT_NE(ledger, nullptr) << failure.toStdString();
    return ledger;
  }
  SeriesLedger::Reservation Reserve(SeriesLedger &ledger, bool reissue = false) {
    return ledger.Reserve(QString::fromLatin1(kSeries), QStringLiteral("100"), CountOn, Who(),
                          reissue);
  }
  QTemporaryDir dir_;
};

TEST_F(SqliteLedgerTest, RowsAndNextOutliveTheProcessInAPrivateFile) {
  {
    std::unique_ptr<SeriesLedger> ledger = Open();
    ASSERT_NE(ledger, nullptr);
    const LedgerResult ends[] = {LedgerResult::kWritten, LedgerResult::kVerified,
                                 LedgerResult::kFailed, LedgerResult::kReserved};
    for (LedgerResult end : ends) {
      const SeriesLedger::Reservation reserved = Reserve(*ledger);
      ASSERT_EQ(reserved.outcome, SeriesLedger::Reservation::Outcome::kReserved)
          << ledger->Failure().toStdString();
      if (end != LedgerResult::kReserved) {
        ASSERT_TRUE(ledger->Finish(reserved.entry.id, QByteArray::fromHex("04A1B2C3D4E5F6"), end));
      }
    }
    // A row is finished once: a second end would rewrite what a card got.
    EXPECT_FALSE(ledger->Finish(1, QByteArray::fromHex("0411"), LedgerResult::kFailed));
    EXPECT_TRUE(ledger->Failure().contains(File()));
    // The write-ahead log lives while the ledger is open, with the file's mode.
    EXPECT_EQ(ModeOf(File()), 0600u);
    EXPECT_EQ(ModeOf(File() + "-wal"), 0600u);
  }

  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_NE(ledger, nullptr);
  EXPECT_EQ(ledger->Next(QString::fromLatin1(kSeries)), QStringLiteral("104"));
  EXPECT_EQ(ledger->Next(QStringLiteral("unknown")), std::nullopt);
  EXPECT_EQ(ledger->SeriesNames(), QStringList{QString::fromLatin1(kSeries)});
  const std::optional<std::vector<LedgerEntry>> rows =
      ledger->Entries(QString::fromLatin1(kSeries));
  ASSERT_TRUE(rows.has_value());
  ASSERT_EQ(rows->size(), 4u);
  const char *values[] = {"100", "101", "102", "103"};
  const LedgerResult results[] = {LedgerResult::kWritten, LedgerResult::kVerified,
                                  LedgerResult::kFailed, LedgerResult::kReserved};
  for (size_t i = 0; i < rows->size(); ++i) {
    const LedgerEntry &row = (*rows)[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(row.id, static_cast<std::int64_t>(i + 1));
    EXPECT_EQ(row.value, QLatin1String(values[i]));
    EXPECT_EQ(row.result, results[i]);
    EXPECT_EQ(row.station, QStringLiteral("bench-1/quillmate-cli"));
    EXPECT_EQ(row.operator_name, QStringLiteral("anna"));
    EXPECT_EQ(row.job_fingerprint, QStringLiteral("ab12"));
    EXPECT_TRUE(row.reserved_at.isValid());
    EXPECT_EQ(row.reserved_at.timeSpec(), Qt::UTC);
    EXPECT_FALSE(row.reissue);
    const bool finished = results[i] != LedgerResult::kReserved;
    EXPECT_EQ(row.finished_at.isValid(), finished);
    EXPECT_EQ(row.uid, finished ? QByteArray::fromHex("04A1B2C3D4E5F6") : QByteArray());
  }
}

TEST_F(SqliteLedgerTest, AHeldValueIsGivenOutAgainOnlyAsAReissue) {
  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_NE(ledger, nullptr);
  const SeriesLedger::Reservation first = Reserve(*ledger);
  ASSERT_TRUE(ledger->Finish(first.entry.id, QByteArray::fromHex("04AA"), LedgerResult::kWritten));
  // The operator rewinds the series to a value a card holds.
  ASSERT_TRUE(ledger->SetNext(QString::fromLatin1(kSeries), QStringLiteral("100")));

  const SeriesLedger::Reservation held = Reserve(*ledger);
  EXPECT_EQ(held.outcome, SeriesLedger::Reservation::Outcome::kHeld);
  ASSERT_EQ(held.earlier.size(), 1u);
  EXPECT_EQ(held.earlier[0].uid, QByteArray::fromHex("04AA"));
  EXPECT_TRUE(held.earlier[0].finished_at.isValid());
  EXPECT_EQ(ledger->Next(QString::fromLatin1(kSeries)), QStringLiteral("100")) << "nothing changed";

  const SeriesLedger::Reservation again = Reserve(*ledger, true);
  ASSERT_EQ(again.outcome, SeriesLedger::Reservation::Outcome::kReserved);
  EXPECT_TRUE(again.entry.reissue);
  EXPECT_EQ(again.entry.value, QStringLiteral("100"));
  EXPECT_EQ(ledger->Holding(QString::fromLatin1(kSeries), QStringLiteral("100"))->size(), 2u);
  // A reissue asked for a value nobody holds is an ordinary row.
  const SeriesLedger::Reservation fresh = Reserve(*ledger, true);
  EXPECT_FALSE(fresh.entry.reissue);
  EXPECT_EQ(fresh.entry.value, QStringLiteral("101"));
}

TEST_F(SqliteLedgerTest, AReturnedValueGoesBackOnlyWhileNoStationReservedSince) {
  struct Case {
    const char *name;
    bool another_reserved_since;
    const char *next_after;
  };
  const Case cases[] = {{"alone", false, "100"}, {"another station counted on", true, "102"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(File());
    QFile::remove(File() + "-wal");
    QFile::remove(File() + "-shm");
    std::unique_ptr<SeriesLedger> ledger = Open();
    ASSERT_NE(ledger, nullptr);
    const SeriesLedger::Reservation mine = Reserve(*ledger);
    if (c.another_reserved_since) Reserve(*ledger);
    ASSERT_TRUE(ledger->Return(mine.entry.id, mine.plan.value, mine.plan.next));
    EXPECT_EQ(ledger->Next(QString::fromLatin1(kSeries)), QLatin1String(c.next_after));
    // A returned value is held by nobody: the next card may take it.
    EXPECT_TRUE(ledger->Holding(QString::fromLatin1(kSeries), QStringLiteral("100"))->empty());
    EXPECT_EQ(ledger->Entries(QString::fromLatin1(kSeries))->front().result,
              LedgerResult::kReturned);
  }
}

TEST_F(SqliteLedgerTest, TheDatabaseItselfRefusesASecondRowOfAValue) {
  {
    std::unique_ptr<SeriesLedger> ledger = Open();
    ASSERT_NE(ledger, nullptr);
    Reserve(*ledger);
  }
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(File()).constData(), &db), SQLITE_OK);
  const auto insert = [db](const char *result, int reissue) {
    const std::string sql =
        std::string(
            "INSERT INTO entries(series, value, station, operator, reserved_at, "
            "job_fingerprint, result, reissue) VALUES ('") +
        kSeries + "', '100', 's', 'o', 't', 'f', '" + result + "', " + std::to_string(reissue) +
        ")";
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  };
  EXPECT_EQ(insert("written", 0), SQLITE_CONSTRAINT);
  EXPECT_EQ(insert("reserved", 1), SQLITE_OK) << "a reissue is a row of its own";
  EXPECT_EQ(insert("returned", 0), SQLITE_OK) << "a returned value is held by nobody";
  sqlite3_close(db);
}

// Runs `body` in a child process as an unprivileged user (root may write any file); its text
// comes back through a pipe.
QString AsUnprivilegedUser(const std::function<QString()> &body) {
  int fds[2];
  if (::pipe(fds) != 0) return QStringLiteral("<no pipe>");
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(3);
    const QByteArray text = body().toUtf8();
    const ssize_t written = ::write(fds[1], text.constData(), static_cast<size_t>(text.size()));
    _exit(written == text.size() ? 0 : 4);
  }
  ::close(fds[1]);
  QByteArray text;
  char buffer[512];
  ssize_t got = 0;
  while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, got);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return QString::fromUtf8(text);
}

TEST_F(SqliteLedgerTest, FilesItMustNotStartOnAreRefusedNamingFileAndReason) {
  struct Case {
    const char *name;
    std::function<void(const QString &)> prepare;
    bool unprivileged;
    const char *reason;
  };
  const Case cases[] = {
      {"newer schema",
       [](const QString &file) {
         sqlite3 *db = nullptr;
         sqlite3_open(QFile::encodeName(file).constData(), &db);
         sqlite3_exec(db, "PRAGMA user_version = 7", nullptr, nullptr, nullptr);
         sqlite3_close(db);
       },
       false, "Version 7"},
      {"no database",
       [](const QString &file) {
         QFile text(file);
         ASSERT_TRUE(text.open(QIODevice::WriteOnly));
         text.write(QByteArray(4096, 'x'));
       },
       false, "not a database"},
      {"read-only",
       [this](const QString &file) {
         ASSERT_NE(OpenSqliteLedger(file, nullptr), nullptr);
         QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadOther | QFile::ExeOther);
         QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadOther);
       },
       true, "nur lesbar"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = dir_.filePath(QString::fromLatin1(c.name) + ".sqlite");
    c.prepare(file);
    const QString failure = [&] {
      const auto open = [&file] {
        QString why;
        return OpenSqliteLedger(file, &why) == nullptr ? why : QStringLiteral("<opened>");
      };
      return c.unprivileged ? AsUnprivilegedUser(open) : open();
    }();
    EXPECT_TRUE(failure.contains(file)) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QLatin1String(c.reason))) << failure.toStdString();
  }
}

TEST_F(SqliteLedgerTest, ALockHeldTooLongFailsTheCallInBoundedTime) {
  std::unique_ptr<SeriesLedger> ledger = Open();
  ASSERT_NE(ledger, nullptr);
  sqlite3 *holder = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(File()).constData(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  QElapsedTimer timer;
  timer.start();
  const SeriesLedger::Reservation reserved = Reserve(*ledger);
  const qint64 waited = timer.elapsed();
  EXPECT_EQ(reserved.outcome, SeriesLedger::Reservation::Outcome::kFailed);
  EXPECT_TRUE(ledger->Failure().contains(File())) << ledger->Failure().toStdString();
  EXPECT_TRUE(ledger->Failure().contains(QStringLiteral("gesperrt")));
  EXPECT_GE(waited, kSqliteLedgerBusyTimeoutMs - 500);
  EXPECT_LT(waited, kSqliteLedgerBusyTimeoutMs + 3000);
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  // The station goes on once the lock is gone.
  EXPECT_EQ(Reserve(*ledger).outcome, SeriesLedger::Reservation::Outcome::kReserved);
}

TEST_F(SqliteLedgerTest, ProcessesReservingAtOnceNeverGetOneValue) {
  constexpr int kProcesses = 4;
  constexpr int kEach = 40;
  ASSERT_NE(Open(), nullptr);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(fds[0]);
      std::unique_ptr<SeriesLedger> ledger = OpenSqliteLedger(File(), nullptr);
      if (ledger == nullptr) _exit(2);
      for (int i = 0; i < kEach; ++i) {
        const SeriesLedger::Reservation reserved =
            ledger->Reserve(QString::fromLatin1(kSeries), QStringLiteral("1"), CountOn,
                            Who(QStringLiteral("bench-%1/test").arg(p)), false);
        if (reserved.outcome != SeriesLedger::Reservation::Outcome::kReserved) _exit(3);
        const QByteArray line = reserved.plan.value.toLatin1() + "\n";
        if (::write(fds[1], line.constData(), static_cast<size_t>(line.size())) != line.size()) {
          _exit(4);
        }
      }
      _exit(0);
    }
    children.push_back(child);
  }
  ::close(fds[1]);
  QByteArray all;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) all.append(buffer, got);
  ::close(fds[0]);
  for (pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  const QList<QByteArray> values = all.trimmed().split('\n');
  EXPECT_EQ(values.size(), kProcesses * kEach);
  EXPECT_EQ(QSet<QByteArray>(values.begin(), values.end()).size(), kProcesses * kEach);
  EXPECT_EQ(Open()->Next(QString::fromLatin1(kSeries)), QString::number(1 + kProcesses * kEach));
}

}  // namespace
}  // namespace quillmate
