// The series' exports for the customer's system: CSV that a spreadsheet opens without running
// anything and a script reads field for field, and JSON with the summary and every row.
#include "writer/ledger/ledger_export.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include "writer/records/card_log.h"

namespace quillmate {
namespace {

QDateTime Utc(int hour, int minute, int second, int ms = 0) {
  return QDateTime(QDate(2026, 3, 1), QTime(hour, minute, second, ms), QTimeZone::utc());
}

LedgerEntry Entry(const QString &value, LedgerResult result, bool reissue = false) {
  LedgerEntry entry;
  entry.series = QStringLiteral("Halle 3");
  entry.value = value;
  entry.station = QStringLiteral("bench-1/quillmate-cli");
  entry.operator_name = QStringLiteral("mara");
  entry.reserved_at = Utc(9, 15, 2, 250);
  entry.job_fingerprint = QStringLiteral("9f86d081884c7d65");
  entry.result = result;
  entry.reissue = reissue;
  if (result != LedgerResult::kReserved) {
    entry.uid = QByteArray::fromHex("04112233445566");
    entry.finished_at = Utc(9, 15, 3);
  }
  return entry;
}

// A minimal RFC 4180 reader: the rows and their fields, quotes undone.
std::vector<QStringList> ParseCsv(const QString &text) {
  std::vector<QStringList> rows;
  QStringList row;
  QString field;
  bool quoted = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
        field += u'"';
        ++i;
      } else if (c == u'"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == u'"') {
      quoted = true;
    } else if (c == u',') {
      row.append(field);
      field.clear();
    } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      row.append(field);
      rows.push_back(row);
      row.clear();
      field.clear();
      ++i;
    } else {
      field += c;
    }
  }
  return rows;
}

TEST(LedgerExportTest, CsvHasTheHeaderAndOneRowPerEntryWithEveryKindOfRow) {
  struct Case {
    LedgerEntry entry;
    QStringList fields;
  };
  const QString reserved = QStringLiteral("2026-03-01T09:15:02.250Z");
  const QString finished = QStringLiteral("2026-03-01T09:15:03.000Z");
  const QString uid = QStringLiteral("66554433221104");
  const QString station = QStringLiteral("bench-1/quillmate-cli");
  const QString print = QStringLiteral("9f86d081884c7d65");
  const std::vector<Case> cases = {
      {Entry("0100", LedgerResult::kWritten),
       {"Halle 3", "0100", uid, station, "mara", reserved, finished, print, "written", "false"}},
      {Entry("0101", LedgerResult::kVerified),
       {"Halle 3", "0101", uid, station, "mara", reserved, finished, print, "verified", "false"}},
      {Entry("0102", LedgerResult::kFailed),
       {"Halle 3", "0102", uid, station, "mara", reserved, finished, print, "failed", "false"}},
      // A station that died between reserving and finishing: no UID, no end time.
      {Entry("0103", LedgerResult::kReserved),
       {"Halle 3", "0103", "", station, "mara", reserved, "", print, "reserved", "false"}},
      {Entry("0100", LedgerResult::kVerified, true),
       {"Halle 3", "0100", uid, station, "mara", reserved, finished, print, "verified", "true"}},
      {Entry("0104", LedgerResult::kReturned),
       {"Halle 3", "0104", uid, station, "mara", reserved, finished, print, "returned", "false"}},
  };
  std::vector<LedgerEntry> entries;
  for (const Case &c : cases) entries.push_back(c.entry);

  const QByteArray csv = LedgerCsv(entries);
  ASSERT_TRUE(
      csv.startsWith("series,value,uid,station,operator,reserved_at,finished_at,"
                     "job_fingerprint,result,reissue\r\n"));
  const std::vector<QStringList> rows = ParseCsv(QString::fromUtf8(csv));
  ASSERT_EQ(rows.size(), cases.size() + 1);
  EXPECT_EQ(rows[0], LedgerExportColumns());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(rows[i + 1], cases[i].fields) << "row " << i + 1;
  }
  EXPECT_TRUE(csv.endsWith("\r\n"));
}

TEST(LedgerExportTest, CsvQuotesWhatNeedsItAndDefusesFormulas) {
  struct Case {
    const char *value;
    const char *field;  // as the file holds it
  };
  const std::vector<Case> cases = {
      {"0100", "0100"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
      {"+1+1", "\"'+1+1\""},
      {"-2+3", "\"'-2+3\""},
      {"@SUM(A1)", "\"'@SUM(A1)\""},
      {"\tx", "\"'\tx\""},
      {"Grüße ÄÖÜ", "Grüße ÄÖÜ"},
      {"a=b", "a=b"},
  };
  for (const Case &c : cases) {
    LedgerEntry entry = Entry(QString::fromUtf8(c.value), LedgerResult::kWritten);
    entry.operator_name = QString::fromUtf8(c.value);
    const QByteArray csv = LedgerCsv({entry});
    const QByteArray row = csv.mid(csv.indexOf("\r\n") + 2);
    const QByteArray field(c.field);
    EXPECT_TRUE(
        row.startsWith("Halle 3," + field + ",66554433221104,bench-1/quillmate-cli," + field + ","))
        << c.value << " gave " << row.constData();
  }
}

TEST(LedgerExportTest, UidReadsAsTheCardLogShowsIt) {
  for (const QByteArray &uid :
       {QByteArray::fromHex("04A1B2C3"), QByteArray::fromHex("04112233445566")}) {
    DesfireSet job;
    const QStringList log = LogLineBody(job, uid, Utc(9, 0, 0)).split(u'\t');
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(LedgerUidText(uid), log[1]);
  }
  EXPECT_EQ(LedgerUidText(QByteArray()), QString());
}

TEST(LedgerExportTest, JsonHoldsTheSummaryAndEveryEntryUnchanged) {
  std::vector<LedgerEntry> entries = {
      Entry("=0100", LedgerResult::kVerified), Entry("0101", LedgerResult::kFailed),
      Entry("0102", LedgerResult::kReserved), Entry("=0100", LedgerResult::kWritten, true)};
  entries[1].station = QStringLiteral("bench-2/quillmate");
  const LedgerSummary summary = SummariseLedger(QStringLiteral("Halle 3"), entries);

  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(LedgerJson(summary, entries), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  const QJsonObject root = doc.object();
  EXPECT_EQ(root["series"].toString(), "Halle 3");

  const QJsonObject sums = root["summary"].toObject();
  EXPECT_EQ(sums["cards"].toInt(), 2);
  EXPECT_EQ(sums["failures"].toInt(), 1);
  EXPECT_EQ(sums["gaps"].toInt(), 1);
  EXPECT_EQ(sums["reissues"].toInt(), 1);
  EXPECT_EQ(sums["first_value"].toString(), "=0100");
  EXPECT_EQ(sums["last_value"].toString(), "=0100");
  EXPECT_EQ(sums["stations"].toArray(), QJsonArray({"bench-1/quillmate-cli", "bench-2/quillmate"}));

  const QJsonArray rows = root["entries"].toArray();
  ASSERT_EQ(rows.size(), 4);
  for (const QJsonValue &row : rows) {
    QStringList members = row.toObject().keys();
    QStringList columns = LedgerExportColumns();
    members.sort();
    columns.sort();
    EXPECT_EQ(members, columns);
  }
  const QJsonObject first = rows[0].toObject();
  // JSON is read by programs, not spreadsheets: the value stays as it was written to the card.
  EXPECT_EQ(first["value"].toString(), "=0100");
  EXPECT_EQ(first["uid"].toString(), "66554433221104");
  EXPECT_EQ(first["reserved_at"].toString(), "2026-03-01T09:15:02.250Z");
  EXPECT_EQ(first["finished_at"].toString(), "2026-03-01T09:15:03.000Z");
  EXPECT_EQ(first["result"].toString(), "verified");
  EXPECT_EQ(first["reissue"], QJsonValue(false));
  const QJsonObject gap = rows[2].toObject();
  EXPECT_EQ(gap["result"].toString(), "reserved");
  EXPECT_TRUE(gap["uid"].isNull());
  EXPECT_TRUE(gap["finished_at"].isNull());
  EXPECT_EQ(rows[3].toObject()["reissue"], QJsonValue(true));
}

TEST(LedgerExportTest, TimesAreUtcWhateverZoneTheyCameIn) {
  const QDateTime berlin(QDate(2026, 7, 1), QTime(11, 0, 0), QTimeZone("Europe/Berlin"));
  EXPECT_EQ(LedgerTimeText(berlin), "2026-07-01T09:00:00.000Z");
  EXPECT_EQ(LedgerTimeText(QDateTime()), QString());
}

TEST(LedgerExportTest, FormatWordsAreExactlyCsvAndJson) {
  EXPECT_EQ(LedgerExportFormatFromWord("csv"), LedgerExportFormat::kCsv);
  EXPECT_EQ(LedgerExportFormatFromWord("json"), LedgerExportFormat::kJson);
  EXPECT_EQ(LedgerExportFormatFromWord("xml"), std::nullopt);
  EXPECT_EQ(LedgerExportFormatFromWord("CSV"), std::nullopt);
}

}  // namespace
}  // namespace quillmate
