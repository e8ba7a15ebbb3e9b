// The series view on a real SQLite ledger: its summary and latest cards, the exports and the
// report as files that hold the series as it is when they are written, a ledger that cannot be
// read named instead of an empty series, and the view in English.
#include "ui/series_dlg.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <deque>

#include "ui/file_choices.h"
#include "ui/message_box.h"
#include "writer/language/translation.h"
#include "writer/ledger/sqlite_ledger.h"

namespace quillmate::ui {
namespace {

constexpr char kSeries[] = "A1B2C3/03 /home/anna/KV-DESFire Quillmate.ini";

SeriesLedger::Plan CountOn(const QString &next) {
  return {next, QString::number(next.toLongLong() + 1)};
}

QByteArray ReadFile(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SeriesDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    QString failure;
    ledger_ = OpenSqliteLedger(LedgerFile(), &failure);
    ASSERT_NE(ledger_, nullptr) << failure.toStdString();
    SetMessageBoxHook([this](const QString &text, BoxIcon, BoxButtons) {
      boxes_.append(text);
      return BoxAnswer::kOk;
    });
    SetFileChoiceHook([this](const FileChoiceRequest &request) {
      requests_.push_back(request);
      return chosen_;
    });
  }
  void TearDown() override {
    SetMessageBoxHook(nullptr);
    SetFileChoiceHook(nullptr);
    RemoveEnglishTexts(*qApp);
  }

  QString LedgerFile() const { return dir_.filePath(QStringLiteral("Serie.ledger.sqlite")); }

  // A card of the series written at `station`, ending with `end` (kReserved: left unfinished).
  void Card(LedgerResult end, const QString &station = QStringLiteral("bench-1/quillmate")) {
    LedgerEntry who;
    who.station = station;
    who.operator_name = QStringLiteral("anna");
    who.job_fingerprint = QStringLiteral("ab12");
    const SeriesLedger::Reservation reserved =
        ledger_->Reserve(kSeries, QStringLiteral("1000"), CountOn, who, false);
    ASSERT_EQ(reserved.outcome, SeriesLedger::Reservation::Outcome::kReserved)
        << ledger_->Failure().toStdString();
    if (end != LedgerResult::kReserved) {
      ASSERT_TRUE(ledger_->Finish(reserved.entry.id, QByteArray::fromHex("04112233445566"), end));
    }
  }

  std::unique_ptr<CSeriesDlg> Open(const QString &series = QString::fromUtf8(kSeries)) {
    auto dialog =
        std::make_unique<CSeriesDlg>([this, series] { return ReadSeriesRecord(*ledger_, series); },
                                     QStringLiteral("KV-DESFire Quillmate 0.1.0"));
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
  }

  static QString Cell(const CSeriesDlg &dialog, int row, int column) {
    const QTableWidgetItem *item = dialog.LatestTable()->item(row, column);
    return item ? item->text() : QString();
  }

  QTemporaryDir dir_;
  std::unique_ptr<SeriesLedger> ledger_;
  QStringList boxes_;
  std::vector<FileChoiceRequest> requests_;
  QString chosen_;
};

TEST_F(SeriesDlgTest, ShowsTheSummaryAndTheLatestCardsNewestFirst) {
  for (int i = 0; i < 55; ++i) Card(LedgerResult::kVerified);
  Card(LedgerResult::kFailed, QStringLiteral("bench-2/quillmate-cli"));
  Card(LedgerResult::kReserved);
  auto dialog = Open();

  EXPECT_EQ(dialog->windowTitle(), "Serie");
  EXPECT_EQ(dialog->Problem(), QString());
  const QList<QPair<QString, QString>> expected = {
      {"Datenbank:", LedgerFile()}, {"Karten:", "55"},
      {"Erster Wert:", "1000"},     {"Letzter Wert:", "1054"},
      {"Fehlgeschlagen:", "1"},     {"Lücken (nicht beendet):", "1"},
      {"Neu ausgegeben:", "0"},     {"Stationen:", "bench-1/quillmate, bench-2/quillmate-cli"}};
  EXPECT_EQ(dialog->SummaryShown(), expected);

  const QTableWidget *table = dialog->LatestTable();
  ASSERT_EQ(table->rowCount(), CSeriesDlg::kLatestRows);
  EXPECT_EQ(table->horizontalHeaderItem(0)->text(), "Wert");
  // The newest first: the gap, the failure, then the cards down to the 50th from the end.
  EXPECT_EQ(Cell(*dialog, 0, 0), "1056");
  EXPECT_EQ(Cell(*dialog, 0, 1), "");
  EXPECT_EQ(Cell(*dialog, 0, 6), "reserviert (Lücke)");
  EXPECT_EQ(Cell(*dialog, 1, 0), "1055");
  EXPECT_EQ(Cell(*dialog, 1, 2), "bench-2/quillmate-cli");
  EXPECT_EQ(Cell(*dialog, 1, 6), "fehlgeschlagen (Lücke)");
  EXPECT_EQ(Cell(*dialog, 2, 1), "66554433221104");
  EXPECT_EQ(Cell(*dialog, 2, 6), "geschrieben und geprüft");
  EXPECT_EQ(Cell(*dialog, 49, 0), "1007");
  for (QPushButton *button : {dialog->CsvButton(), dialog->JsonButton(), dialog->ReportButton()}) {
    EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();
  }

  // Taking a screenshot is up to the caller: the dialog on the offscreen platform, as an operator
  // sees it, for looking at the layout.
  if (const QByteArray folder = qgetenv("QUILLMATE_SCREENSHOT_DIR"); !folder.isEmpty()) {
    dialog->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/series-dialog.png"));
  }
}

TEST_F(SeriesDlgTest, ExportsAndReportHoldEveryRowAsItIsWhenWritten) {
  Card(LedgerResult::kVerified);
  Card(LedgerResult::kWritten);
  auto dialog = Open();
  // A write cycle goes on while the dialog is open: the files hold its card too.
  Card(LedgerResult::kFailed);

  struct Case {
    QPushButton *button;
    const char *typed;  // the name typed into the file dialog
    const char *saved;  // the file that is written
    const char *title;
  };
  const std::vector<Case> cases = {
      {dialog->CsvButton(), "serie", "serie.csv", "Serie als CSV exportieren"},
      {dialog->JsonButton(), "serie.json", "serie.json", "Serie als JSON exportieren"},
      {dialog->ReportButton(), "bericht", "bericht.pdf", "Bericht der Serie speichern"},
  };
  for (const Case &c : cases) {
    chosen_ = dir_.filePath(QLatin1String(c.typed));
    boxes_.clear();
    requests_.clear();
    QTest::mouseClick(c.button, Qt::LeftButton);
    ASSERT_EQ(requests_.size(), 1u) << c.saved;
    EXPECT_EQ(requests_[0].title, QString::fromUtf8(c.title));
    EXPECT_TRUE(requests_[0].confirm_overwrite);
    const QString path = dir_.filePath(QLatin1String(c.saved));
    ASSERT_EQ(boxes_.size(), 1) << c.saved;
    EXPECT_EQ(boxes_[0],
              QStringLiteral("3 Einträge der Serie in der Datei <%1> gespeichert.").arg(path));
    EXPECT_TRUE(QFileInfo::exists(path)) << c.saved;
  }
  const QList<QByteArray> csv = ReadFile(dir_.filePath("serie.csv")).split('\n');
  ASSERT_EQ(csv.size(), 5);  // header, three rows, nothing after the last line end
  EXPECT_TRUE(csv[3].contains(",1002,66554433221104,bench-1/quillmate,anna,")) << csv[3].data();
  EXPECT_TRUE(csv[3].contains(",failed,false")) << csv[3].data();
  const QJsonObject json = QJsonDocument::fromJson(ReadFile(dir_.filePath("serie.json"))).object();
  EXPECT_EQ(json["series"].toString(), QString::fromUtf8(kSeries));
  EXPECT_EQ(json["summary"].toObject()["failures"].toInt(), 1);
  EXPECT_TRUE(ReadFile(dir_.filePath("bericht.pdf")).startsWith("%PDF-"));
  // The view shows what the files hold.
  EXPECT_EQ(dialog->LatestTable()->rowCount(), 3);

  // Cancelled: nothing written, nothing said.
  chosen_.clear();
  boxes_.clear();
  QTest::mouseClick(dialog->CsvButton(), Qt::LeftButton);
  EXPECT_TRUE(boxes_.isEmpty());

  // A file that cannot be written is named, and no part of it is left.
  chosen_ = dir_.filePath("missing/serie.csv");
  QTest::mouseClick(dialog->CsvButton(), Qt::LeftButton);
  ASSERT_EQ(boxes_.size(), 1);
  EXPECT_TRUE(boxes_[0].startsWith("Die Datei konnte nicht geschrieben werden: " + chosen_))
      << boxes_[0].toStdString();
}

TEST_F(SeriesDlgTest, ALedgerThatCannotBeReadIsNamedAndNothingIsExported) {
  Card(LedgerResult::kVerified);
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(LedgerFile()).constData(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "DROP TABLE entries", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  auto dialog = Open();
  EXPECT_TRUE(dialog->Problem().startsWith("Die Serie kann nicht gelesen werden: "))
      << dialog->Problem().toStdString();
  EXPECT_TRUE(dialog->Problem().contains(LedgerFile())) << dialog->Problem().toStdString();
  // No counts that would read as "no cards".
  EXPECT_EQ(dialog->SummaryShown()[1], (QPair<QString, QString>{"Karten:", ""}));
  EXPECT_EQ(dialog->LatestTable()->rowCount(), 0);
  for (QPushButton *button : {dialog->CsvButton(), dialog->JsonButton(), dialog->ReportButton()}) {
    EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
  }
}

TEST_F(SeriesDlgTest, ASeriesWithoutCardsInTheLedgerSaysSo) {
  Card(LedgerResult::kVerified);
  auto dialog = Open(QStringLiteral("another series"));
  EXPECT_EQ(
      dialog->Problem(),
      QStringLiteral("Die Datenbank %1 enthält noch keine Karte dieser Serie.").arg(LedgerFile()));
  EXPECT_FALSE(dialog->CsvButton()->isEnabled());
}

TEST_F(SeriesDlgTest, InEnglish) {
  ASSERT_TRUE(
      InstallEnglishTexts(*qApp, {QFileInfo(QStringLiteral(QUILLMATE_ENGLISH_QM)).absolutePath()}));
  Card(LedgerResult::kVerified);
  auto dialog = Open();
  EXPECT_EQ(dialog->windowTitle(), "Series");
  EXPECT_EQ(dialog->SummaryShown()[1], (QPair<QString, QString>{"Cards:", "1"}));
  EXPECT_EQ(dialog->LatestTable()->horizontalHeaderItem(0)->text(), "Value");
  EXPECT_EQ(Cell(*dialog, 0, 6), "written and verified");
  EXPECT_EQ(dialog->CsvButton()->text(), "&CSV export ...");
  EXPECT_EQ(dialog->ReportButton()->text(), "PDF &report ...");
}

}  // namespace
}  // namespace quillmate::ui
