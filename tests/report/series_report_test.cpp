// The series report: the summary and every row of the series in the PDF's text, German and
// English, the cards' table continued over many pages under its header, and a file written whole.
#include "report/series_report.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <string>

#include "writer/language/translation.h"

namespace quillmate {
namespace {

QDateTime Utc(int minute, int second) {
  return QDateTime(QDate(2026, 3, 1), QTime(9, minute, second), QTimeZone::utc());
}

LedgerEntry Entry(const QString &value, LedgerResult result, bool reissue = false) {
  LedgerEntry entry;
  entry.series = QStringLiteral("Halle 3");
  entry.value = value;
  entry.station = QStringLiteral("bench-1/quillmate-cli");
  entry.operator_name = QStringLiteral("mara");
  entry.reserved_at = Utc(15, 2);
  entry.job_fingerprint = QStringLiteral("9f86d081884c7d65");
  entry.result = result;
  entry.reissue = reissue;
  if (result != LedgerResult::kReserved) {
    entry.uid = QByteArray::fromHex("04112233445566");
    entry.finished_at = Utc(15, 3);
  }
  return entry;
}

SeriesReportSource Source(std::vector<LedgerEntry> entries) {
  SeriesReportSource source;
  source.summary = SummariseLedger(QStringLiteral("Halle 3"), entries);
  source.entries = std::move(entries);
  source.ledger_name = QStringLiteral("/srv/quillmate/Quillmate.ledger");
  source.program_line = QStringLiteral("KV-DESFire Quillmate 0.1.0");
  source.made_at = Utc(30, 0);
  return source;
}

class SeriesReportTest : public testing::Test {
 protected:
  void SetUp() override {
    if (QStringLiteral(PDFTOTEXT_PROGRAM).endsWith(QLatin1String("NOTFOUND"))) {
      GTEST_SKIP() << "pdftotext is missing (Debian package poppler-utils)";
    }
  }
  void TearDown() override { RemoveEnglishTexts(*qApp); }

  // The PDF's pages as text, in reading order.
  QStringList Pages(const SeriesReportSource &source) {
    const QString pdf = dir_.filePath(QStringLiteral("report.pdf"));
    QString why;
    EXPECT_TRUE(WriteSeriesReport(pdf, source, &why)) << why.toStdString();
    // pdftotext runs through posix_spawn rather than QProcess, whose fork the thread sanitizer's
    // runtime cannot follow; the wait is bounded.
    const QString text_file = dir_.filePath(QStringLiteral("report.txt"));
    std::string program = PDFTOTEXT_PROGRAM, layout = "-layout", in = pdf.toStdString(),
                out = text_file.toStdString();
    char *argv[] = {program.data(), layout.data(), in.data(), out.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    int status = -1;
    for (int waited = 0; pid > 0 && waited < 3000; ++waited) {
      if (waitpid(pid, &status, WNOHANG) == pid) break;
      usleep(10000);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "pdftotext: " << status;
    QFile text(text_file);
    EXPECT_TRUE(text.open(QIODevice::ReadOnly));
    QStringList pages = QString::fromUtf8(text.readAll()).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
    return pages;
  }

  QTemporaryDir dir_;
};

// The text with every run of blanks made one, so that a label and its value compare as words, and
// the font's ligatures ("ﬁ") taken apart.
QString Words(const QString &text) {
  return text.normalized(QString::NormalizationForm_KC).simplified();
}

// The footer's "page / pages" (pdftotext may drop the blanks around the slash).
bool ShowsPageNumber(const QString &text, int page, int pages) {
  return text.contains(QRegularExpression(QStringLiteral("\\b%1 ?/ ?%2$").arg(page).arg(pages)));
}

TEST_F(SeriesReportTest, SummaryAndEveryRowAreInTheText) {
  std::vector<LedgerEntry> entries = {
      Entry("0100", LedgerResult::kVerified),       Entry("0101", LedgerResult::kWritten),
      Entry("0102", LedgerResult::kFailed),         Entry("0103", LedgerResult::kReserved),
      Entry("0100", LedgerResult::kVerified, true), Entry("<b>&0104", LedgerResult::kReturned)};
  entries[1].station = QStringLiteral("bench-2/quillmate");
  const QStringList pages = Pages(Source(entries));
  ASSERT_EQ(pages.size(), 1);
  const QString text = Words(pages[0]);
  EXPECT_TRUE(ShowsPageNumber(text, 1, 1)) << text.toStdString();
  for (const char *expected :
       {"Serie Halle 3", "Datenbank /srv/quillmate/Quillmate.ledger",
        "Erstellt (UTC) 2026-03-01 09:30:00", "Karten 3", "Erster Wert 0100", "Letzter Wert 0100",
        "Fehlgeschlagen 1", "Lücken (nicht beendet) 1", "Neu ausgegeben 1",
        "Stationen bench-1/quillmate-cli, bench-2/quillmate",
        "Nr. Wert UID Station Bediener Reserviert (UTC) Fertig (UTC) Ergebnis",
        "1 0100 66554433221104 bench-1/quillmate-cli mara 2026-03-01 09:15:02 2026-03-01 09:15:03 "
        "geschrieben und geprüft",
        "2 0101 66554433221104 bench-2/quillmate mara", "geschrieben", "3 0102 66554433221104",
        "fehlgeschlagen (Lücke)",
        // A gap: no UID, no end.
        "4 0103 bench-1/quillmate-cli mara 2026-03-01 09:15:02 reserviert (Lücke)",
        "geschrieben und geprüft, neu ausgegeben",
        // Text from the ledger is shown as it is, never read as markup.
        "6 <b>&0104", "zurückgegeben", "KV-DESFire Quillmate 0.1.0 · Serie Halle 3"}) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\nin:\n"
                                                            << text.toStdString();
  }
}

TEST_F(SeriesReportTest, EnglishTextsWhenTheProgramIsEnglish) {
  ASSERT_TRUE(
      InstallEnglishTexts(*qApp, {QFileInfo(QStringLiteral(QUILLMATE_ENGLISH_QM)).absolutePath()}));
  const QStringList pages = Pages(
      Source({Entry("0100", LedgerResult::kVerified), Entry("0101", LedgerResult::kReserved)}));
  ASSERT_EQ(pages.size(), 1);
  const QString text = Words(pages[0]);
  for (const char *expected :
       {"Series Halle 3", "Database /srv/quillmate/Quillmate.ledger", "Made (UTC)", "Cards 1",
        "First value 0100", "Last value 0100", "Failed 0", "Gaps (not finished) 1", "Reissued 0",
        "Stations bench-1/quillmate-cli",
        "No. Value UID Station Operator Reserved (UTC) Finished (UTC) Result",
        "written and verified", "reserved (gap)"}) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\nin:\n"
                                                            << text.toStdString();
  }
}

TEST_F(SeriesReportTest, LongSeriesRunsOverPagesWithTheHeaderOnEachAndEveryRowOnce) {
  std::vector<LedgerEntry> entries;
  for (int i = 1; i <= 240; ++i) {
    entries.push_back(
        Entry(QStringLiteral("V%1").arg(i, 5, 10, QLatin1Char('0')), LedgerResult::kVerified));
  }
  const QStringList pages = Pages(Source(entries));
  ASSERT_GE(pages.size(), 4);
  const QString header = QStringLiteral("Nr. Wert UID Station Bediener");
  QString all;
  for (int page = 0; page < pages.size(); ++page) {
    const QString text = Words(pages[page]);
    EXPECT_TRUE(text.contains(header)) << "page " << page + 1;
    EXPECT_TRUE(ShowsPageNumber(text, page + 1, int(pages.size()))) << "page " << page + 1;
    all += text + u' ';
  }
  for (const LedgerEntry &entry : entries) {
    // The value with the UID after it: a row of the table, not the summary's first or last value.
    EXPECT_EQ(all.count(u' ' + entry.value + QStringLiteral(" 66554433221104 ")), 1)
        << entry.value.toStdString();
  }
}

TEST_F(SeriesReportTest, SeriesWithoutRowsSaysSo) {
  const QStringList pages = Pages(Source({}));
  ASSERT_EQ(pages.size(), 1);
  const QString text = Words(pages[0]);
  EXPECT_TRUE(text.contains("Karten 0")) << text.toStdString();
  EXPECT_TRUE(text.contains("Erster Wert –")) << text.toStdString();
  EXPECT_TRUE(text.contains("Die Serie hat noch keine Karten.")) << text.toStdString();
}

}  // namespace
}  // namespace quillmate
