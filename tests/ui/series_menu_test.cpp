// The window's "Serie" entry opens the series view on the ledger of the series the window's job
// counts in (the same file and series name a write with these settings uses), and creates no
// ledger by looking.
#include <QFileInfo>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include "ui/series_dlg.h"
#include "window_rig.h"
#include "writer/ledger/ledger_choice.h"
#include "writer/ledger/sqlite_ledger.h"

namespace quillmate_test {
namespace {

class SeriesMenu : public WindowRig {
 protected:
  // Opens "Serie" and hands the open view to `look` before closing it.
  void LookAtSeriesView(const std::function<void(quillmate::ui::CSeriesDlg &)> &look) {
    bool looked = false;
    QTimer::singleShot(0, [&] {
      auto *view = qobject_cast<quillmate::ui::CSeriesDlg *>(QApplication::activeModalWidget());
      ASSERT_NE(view, nullptr) << "the series view is not open";
      look(*view);
      looked = true;
      view->accept();
    });
    QAction *entry = window().MenuAction(QStringLiteral("Serie"));
    ASSERT_NE(entry, nullptr);
    entry->trigger();  // modal until the view closes
    EXPECT_TRUE(looked);
  }
};

TEST_F(SeriesMenu, ShowsTheSeriesOfTheWindowsJob) {
  OpenWindow();
  // Two cards counted by a station into the ledger the window's settings choose.
  const QString file = quillmate::SqliteLedgerFile(settings_->FileName(), QString());
  const QString series = quillmate::DefaultSeriesName(window().Job(), settings_->FileName());
  {
    QString failure;
    std::unique_ptr<quillmate::SeriesLedger> ledger = quillmate::OpenSqliteLedger(file, &failure);
    ASSERT_NE(ledger, nullptr) << failure.toStdString();
    quillmate::LedgerEntry who;
    who.station = QStringLiteral("bench-2/quillmate-cli");
    who.operator_name = QStringLiteral("anna");
    for (int i = 0; i < 2; ++i) {
      const auto reserved = ledger->Reserve(
          series, QStringLiteral("7"),
          [](const QString &next) {
            return quillmate::SeriesLedger::Plan{next, QString::number(next.toInt() + 1)};
          },
          who, false);
      ASSERT_EQ(reserved.outcome, quillmate::SeriesLedger::Reservation::Outcome::kReserved);
      ASSERT_TRUE(ledger->Finish(reserved.entry.id, QByteArray::fromHex("04112233445566"),
                                 quillmate::LedgerResult::kVerified));
    }
  }
  LookAtSeriesView([&](quillmate::ui::CSeriesDlg &view) {
    EXPECT_EQ(view.Problem(), QString());
    const auto shown = view.SummaryShown();
    EXPECT_EQ(shown[0].second, file);
    EXPECT_EQ(shown[1].second, QStringLiteral("2"));
    EXPECT_EQ(shown[7].second, QStringLiteral("bench-2/quillmate-cli"));
    EXPECT_EQ(view.LatestTable()->rowCount(), 2);
  });
}

// A card the window writes is in the view at once, with the UID of the card that got it.
TEST_F(SeriesMenu, ACardTheWindowWroteIsInTheView) {
  OpenWindow();
  Type(form().data, QStringLiteral("1000"));
  form().write_single->click();
  ASSERT_TRUE(
      window().StatusLines().contains(QStringLiteral("Wert <1000> erfolgreich geschrieben")))
      << window().StatusLines().join('\n').toStdString();
  LookAtSeriesView([&](quillmate::ui::CSeriesDlg &view) {
    EXPECT_EQ(view.Problem(), QString());
    EXPECT_EQ(view.SummaryShown()[1].second, QStringLiteral("1"));
    ASSERT_EQ(view.LatestTable()->rowCount(), 1);
    EXPECT_EQ(view.LatestTable()->item(0, 0)->text(), QStringLiteral("1000"));
    // kUid from the last byte to the first, as the log shows it.
    EXPECT_EQ(view.LatestTable()->item(0, 1)->text(), QStringLiteral("66554433221104"));
    EXPECT_TRUE(view.LatestTable()->item(0, 2)->text().endsWith(QStringLiteral("/") +
                                                                QApplication::applicationName()));
  });
}

// A job that does not count keeps no ledger: the view says so and makes none.
TEST_F(SeriesMenu, ASeriesWithoutLedgerSaysSoAndMakesNone) {
  quillmate::DesfireSet job = settings_->LoadJob();
  job.auto_increment = false;
  ASSERT_TRUE(settings_->SaveJob(job));
  OpenWindow();
  const QString file = quillmate::SqliteLedgerFile(settings_->FileName(), QString());
  LookAtSeriesView([&](quillmate::ui::CSeriesDlg &view) {
    EXPECT_EQ(view.Problem(),
              QStringLiteral("Das Serienbuch %1 gibt es noch nicht: diese Serie hat noch keine "
                             "Karte gezählt.")
                  .arg(file));
    EXPECT_FALSE(view.CsvButton()->isEnabled());
  });
  EXPECT_FALSE(QFileInfo::exists(file));
}

}  // namespace
}  // namespace quillmate_test
