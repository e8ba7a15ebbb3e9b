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
    EXPECT_EQ(shown[2].second, QStringLiteral("7"));
    EXPECT_EQ(shown[3].second, QStringLiteral("8"));
    EXPECT_EQ(view.LatestTable()->rowCount(), 2);
  });
}

TEST_F(SeriesMenu, ASeriesWithoutLedgerSaysSoAndMakesNone) {
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
