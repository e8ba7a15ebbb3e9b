// One series read out of a real SQLite ledger for a view or an export: its rows and summary, the
// latest rows first for the window, a name the ledger does not hold, and a database that fails.
#include "writer/ledger/series_record.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QTemporaryDir>

#include "writer/ledger/sqlite_ledger.h"

namespace quillmate {
namespace {

SeriesLedger::Plan CountOn(const QString &next) {
  return {next, QString::number(next.toLongLong() + 1)};
}

class SeriesRecordTest : public testing::Test {
 protected:
  void SetUp() override {
    QString failure;
    ledger_ = OpenSqliteLedger(File(), &failure);
    ASSERT_NE(ledger_, nullptr) << failure.toStdString();
  }
  QString File() const { return dir_.filePath(QStringLiteral("Serie.ledger.sqlite")); }
  // One card of `series` ending with `end` (kReserved: left unfinished).
  void Card(const QString &series, LedgerResult end) {
    LedgerEntry who;
    who.station = QStringLiteral("bench-1/quillmate-cli");
    who.operator_name = QStringLiteral("anna");
    who.job_fingerprint = QStringLiteral("ab12");
    const SeriesLedger::Reservation reserved =
        ledger_->Reserve(series, QStringLiteral("100"), CountOn, who, false);
    ASSERT_EQ(reserved.outcome, SeriesLedger::Reservation::Outcome::kReserved)
        << ledger_->Failure().toStdString();
    if (end != LedgerResult::kReserved) {
      ASSERT_TRUE(ledger_->Finish(reserved.entry.id, QByteArray::fromHex("04A1B2C3D4E5F6"), end));
    }
  }
  QTemporaryDir dir_;
  std::unique_ptr<SeriesLedger> ledger_;
};

TEST_F(SeriesRecordTest, RowsAndSummaryOfTheOneSeries) {
  for (LedgerResult end : {LedgerResult::kVerified, LedgerResult::kFailed, LedgerResult::kWritten,
                           LedgerResult::kReserved}) {
    Card("Halle 3", end);
  }
  Card("Halle 4", LedgerResult::kWritten);

  const SeriesRecord record = ReadSeriesRecord(*ledger_, "Halle 3");
  ASSERT_EQ(record.outcome, SeriesRecord::Outcome::kRead) << record.failure.toStdString();
  EXPECT_EQ(record.database, File());
  ASSERT_EQ(record.entries.size(), 4u);
  EXPECT_EQ(record.entries.front().value, "100");
  EXPECT_EQ(record.entries.back().value, "103");
  EXPECT_EQ(record.summary.series, "Halle 3");
  EXPECT_EQ(record.summary.cards, 2);
  EXPECT_EQ(record.summary.failures, 1);
  EXPECT_EQ(record.summary.gaps, 1);
  EXPECT_EQ(record.summary.first_value, "100");
  EXPECT_EQ(record.summary.last_value, "102");

  const std::vector<LedgerEntry> latest = LatestEntries(record.entries, 3);
  ASSERT_EQ(latest.size(), 3u);
  EXPECT_EQ(latest[0].value, "103");
  EXPECT_EQ(latest[2].value, "101");
  EXPECT_EQ(LatestEntries(record.entries, 50).size(), 4u);
  EXPECT_TRUE(LatestEntries(record.entries, 0).empty());
}

TEST_F(SeriesRecordTest, ANameTheLedgerDoesNotHoldIsNoEmptySeries) {
  Card("Halle 3", LedgerResult::kWritten);
  const SeriesRecord record = ReadSeriesRecord(*ledger_, "Halle 33");
  EXPECT_EQ(record.outcome, SeriesRecord::Outcome::kUnknownSeries);
  EXPECT_EQ(record.known, QStringList{"Halle 3"});
}

TEST_F(SeriesRecordTest, ADatabaseThatFailsIsNamed) {
  Card("Halle 3", LedgerResult::kWritten);
  // Another program damaged the file behind the ledger's back: its rows are gone.
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(File()).constData(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "DROP TABLE entries", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  const SeriesRecord record = ReadSeriesRecord(*ledger_, "Halle 3");
  EXPECT_EQ(record.outcome, SeriesRecord::Outcome::kFailed);
  EXPECT_TRUE(record.failure.contains(File())) << record.failure.toStdString();
}

}  // namespace
}  // namespace quillmate
