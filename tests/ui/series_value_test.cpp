// The series' value in the window: whatever the operator clicks (a read before a write, the end of
// a series, a toggled representation, a job file saved after a read, a value typed again), no
// value goes onto two cards unless the operator says so in so many words; a card whose log line
// fails stops the cycle; the cycle buttons work through the accessibility interface.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ui/lamp_panel.h"
#include "window_rig.h"
#include "writer/job/data_codec.h"
#include "writer/job/job_file.h"
#include "writer/ledger/sqlite_ledger.h"

namespace quillmate_test {
namespace {

using quillmate::Cycle;
using quillmate::Lamp;
using quillmate::ui::BoxAnswer;

class SeriesValue : public WindowRig {
 protected:
  // The value on `card` as the window's job reads it; empty without the application.
  QString ValueOn(const kovra_sim::DesfireCard &card) {
    const kovra_sim::DesfireApplication *app = card.Application(window().Job().app_id);
    if (app == nullptr || app->files.empty()) return {};
    return quillmate::DecodeData(
        window().Job(), QByteArray(reinterpret_cast<const char *>(app->files.front().data.data()),
                                   static_cast<qsizetype>(app->files.front().data.size())));
  }
  // Lays a new factory-fresh card on the reader.
  std::shared_ptr<kovra_sim::DesfireCard> LayNewCard() {
    const auto last = static_cast<uint8_t>(++cards_laid_);
    auto card = std::make_shared<kovra_sim::DesfireCard>(
        kovra_sim::Bytes{0x04, 0x21, 0x22, 0x23, 0x24, 0x25, last});
    reader_.PlaceCard(card);
    return card;
  }
  // The next value as the settings file holds it now (what another program, or the next start,
  // reads).
  QString StoredValue() { return quillmate::SettingsStore(folder_.path()).LoadJob().data; }

  int cards_laid_ = 0;
};

// A read shows the card's value; the next write gives out the series' next value, not that one.
TEST_F(SeriesValue, AReadThenAWriteGivesOutTheNextValue) {
  OpenWindow();
  Type(form().data, QStringLiteral("1006"));
  form().write_single->click();
  ASSERT_EQ(ValueOn(*card_), QStringLiteral("1006"));
  ASSERT_EQ(form().data->text(), QStringLiteral("1007"));

  form().read_single->click();
  EXPECT_EQ(form().data->text(), QStringLiteral("1006")) << "the value read is shown";
  auto second = LayNewCard();
  form().write_single->click();
  EXPECT_EQ(ValueOn(*second), QStringLiteral("1007"));
  EXPECT_EQ(form().data->text(), QStringLiteral("1008"));
  EXPECT_EQ(StoredValue(), QStringLiteral("1008"));

  // A typed value, then a read of an older card, then a write cycle: the typed value goes on.
  Type(form().data, QStringLiteral("2000"));
  reader_.PlaceCard(card_);
  form().read_single->click();
  ASSERT_EQ(form().data->text(), QStringLiteral("1006"));
  auto third = LayNewCard();
  answers = {BoxAnswer::kYes};  // the job's warnings
  form().write_cycle->click();
  ASSERT_TRUE(WaitFor([&] { return ValueOn(*third) == QStringLiteral("2000"); }))
      << window().StatusLines().join('\n').toStdString();
  form().write_cycle->click();
  EXPECT_EQ(StoredValue(), QStringLiteral("2001"));
}

// A series that outgrows its file ends; the field shows the value that did not fit whole (not a
// cut "10" that the next write would give out), and a single write after it writes nothing.
TEST_F(SeriesValue, AfterTheSeriesEndedNoWriteGoesOnFromACutValue) {
  OpenWindow();
  Type(form().length, QStringLiteral("2"));
  Type(form().data, QStringLiteral("98"));
  answers = {BoxAnswer::kYes};
  form().write_cycle->click();
  ASSERT_TRUE(WaitFor([&] { return ValueOn(*card_) == QStringLiteral("98"); }));
  auto second = LayNewCard();
  ASSERT_TRUE(WaitFor([&] { return ValueOn(*second) == QStringLiteral("99"); }));
  auto third = LayNewCard();
  ASSERT_TRUE(WaitFor([&] { return window().Operations().RunningCycle() == Cycle::kNone; }));
  EXPECT_TRUE(window().StatusLines().contains(
      QStringLiteral("Der Wert <100> passt nicht in die Datei mit 2 Bytes! Die Serie endet.")));
  EXPECT_EQ(form().data->text(), QStringLiteral("100"));

  form().write_single->click();
  EXPECT_EQ(third->Application(window().Job().app_id), nullptr);
  EXPECT_EQ(StoredValue(), QStringLiteral("100"));
}

// Binär then ASCII: the number stays the one the series writes next.
TEST_F(SeriesValue, ARepresentationToggleKeepsTheNumber) {
  OpenWindow();
  Type(form().length, QStringLiteral("16"));
  form().decimal->click();
  form().ascii->click();
  form().leading_zeros->setChecked(true);
  Type(form().data, QStringLiteral("5000"));
  ASSERT_EQ(form().data->text(), QStringLiteral("0000000000005000"));
  form().binary->click();
  form().ascii->click();
  EXPECT_EQ(form().data->text(), QStringLiteral("0000000000005000"));
  form().hexadecimal->click();
  EXPECT_EQ(form().data->text(), QStringLiteral("0000000000001388"));
  form().decimal->click();
  form().write_single->click();
  EXPECT_EQ(ValueOn(*card_), QStringLiteral("0000000000005000"));
  EXPECT_EQ(StoredValue(), QStringLiteral("0000000000005001"));
}

// "Konfiguration schreiben" after a read stores the series' next value, not the value read:
// loaded again, the file must not put that card's value on another card.
TEST_F(SeriesValue, AJobFileSavedAfterAReadHoldsTheNextValue) {
  OpenWindow();
  Type(form().data, QStringLiteral("1013"));
  form().write_single->click();
  form().read_single->click();
  ASSERT_EQ(form().data->text(), QStringLiteral("1013"));
  chosen_file = folder_.filePath(QStringLiteral("serie.KVMFDat"));
  form().save_job->click();
  quillmate::DesfireSet saved;
  ASSERT_TRUE(quillmate::LoadJobFile(chosen_file, saved).ok);
  EXPECT_EQ(saved.data, QStringLiteral("1014"));

  form().load_job->click();
  EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
  auto second = LayNewCard();
  form().write_single->click();
  EXPECT_EQ(ValueOn(*second), QStringLiteral("1014"));
}

// A value typed that the series has given out already is written only on an explicit yes; the
// question names it and answers No by default.
TEST_F(SeriesValue, ATypedValueGivenOutAlreadyNeedsTheOperatorsYes) {
  OpenWindow();
  Type(form().data, QStringLiteral("1006"));
  form().write_single->click();
  ASSERT_EQ(StoredValue(), QStringLiteral("1007"));

  auto second = LayNewCard();
  answers = {BoxAnswer::kNo};
  Type(form().data, QStringLiteral("1000"));
  const QString question =
      QStringLiteral("Der Wert <1000> wurde in dieser Serie schon vergeben. Trotzdem schreiben?");
  EXPECT_EQ(boxes, QStringList{question});
  EXPECT_EQ(form().data->text(), QStringLiteral("1007"));
  form().write_single->click();
  EXPECT_EQ(ValueOn(*second), QStringLiteral("1007"));

  auto third = LayNewCard();
  boxes.clear();
  answers = {BoxAnswer::kYes};
  Type(form().data, QStringLiteral("1000"));
  form().write_single->click();
  EXPECT_EQ(boxes, QStringList{question});
  EXPECT_EQ(ValueOn(*third), QStringLiteral("1000"));
  EXPECT_EQ(StoredValue(), QStringLiteral("1001"));
}

// Logging switched on with a folder that does not exist: the window asks to make it, and without
// it the log is switched off with a message, before any card. A line that fails during a cycle
// stops the cycle with the red lamp and a message naming the file.
TEST_F(SeriesValue, ACardWithoutItsLogLineStopsTheCycle) {
  const QString log = folder_.filePath(QStringLiteral("logs/write.txt"));
  quillmate::OperatorSettings operator_settings = settings_->LoadOperatorSettings();
  operator_settings.logs.write_file = log;
  ASSERT_TRUE(settings_->SaveOperatorSettings(operator_settings));
  OpenWindow();

  answers = {BoxAnswer::kNo};
  form().log_write->setChecked(true);
  ASSERT_EQ(boxes.size(), 2) << boxes.join('\n').toStdString();
  EXPECT_TRUE(boxes[0].contains(folder_.filePath(QStringLiteral("logs"))))
      << boxes[0].toStdString();
  EXPECT_FALSE(form().log_write->isChecked());

  boxes.clear();
  answers = {BoxAnswer::kYes};
  form().log_write->setChecked(true);
  EXPECT_EQ(boxes.size(), 1);
  EXPECT_TRUE(QDir(folder_.filePath(QStringLiteral("logs"))).exists());
  EXPECT_TRUE(form().log_write->isChecked());

  // The folder goes away while the cycle runs, before the card is laid.
  reader_.RemoveCard();
  Type(form().data, QStringLiteral("7"));
  boxes.clear();
  answers = {BoxAnswer::kYes};  // the job's warnings
  form().write_cycle->click();
  ASSERT_EQ(window().Operations().RunningCycle(), Cycle::kWrite)
      << window().StatusLines().join('\n').toStdString();
  ASSERT_TRUE(QDir(folder_.filePath(QStringLiteral("logs"))).removeRecursively());
  reader_.PlaceCard(card_);
  ASSERT_TRUE(WaitFor([&] { return window().Operations().RunningCycle() == Cycle::kNone; }));
  EXPECT_EQ(ValueOn(*card_), QStringLiteral("7")) << "the card holds its value";
  EXPECT_EQ(form().lamps->Lit(), Lamp::kRed);
  EXPECT_FALSE(form().write_cycle->isChecked());
  ASSERT_FALSE(boxes.isEmpty());
  EXPECT_TRUE(boxes.last().contains(log)) << boxes.last().toStdString();
  EXPECT_EQ(StoredValue(), QStringLiteral("8")) << "the value stays given out";
}

// A screen reader toggles a cycle button through its accessibility action, without a click: the
// cycle starts, and stops again.
TEST_F(SeriesValue, TheCycleButtonsWorkThroughTheirAccessibleToggleAction) {
  OpenWindow();
  Type(form().data, QStringLiteral("1"));
  answers = {BoxAnswer::kYes};
  QAccessibleInterface *button = QAccessible::queryAccessibleInterface(form().write_cycle);
  ASSERT_NE(button, nullptr);
  ASSERT_NE(button->actionInterface(), nullptr);
  const QString toggle = QAccessibleActionInterface::toggleAction();
  ASSERT_TRUE(button->actionInterface()->actionNames().contains(toggle));
  button->actionInterface()->doAction(toggle);
  ASSERT_EQ(window().Operations().RunningCycle(), Cycle::kWrite);
  ASSERT_TRUE(WaitFor([&] { return ValueOn(*card_) == QStringLiteral("1"); }));
  button->actionInterface()->doAction(toggle);
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
  EXPECT_FALSE(form().write_cycle->isChecked());

  QAccessibleInterface *read = QAccessible::queryAccessibleInterface(form().read_cycle);
  read->actionInterface()->doAction(toggle);
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kRead);
  ASSERT_TRUE(WaitFor([&] { return form().data->text() == QStringLiteral("1"); }));
  read->actionInterface()->doAction(toggle);
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
}

}  // namespace
}  // namespace quillmate_test

namespace quillmate_test {
namespace {

// A value the series' ledger holds: the question names the card that got it and when and answers
// No by default; on yes the next card gets it as a reissue, its own row in the ledger.
TEST_F(SeriesValue, AValueTheLedgerHoldsIsWrittenAgainOnlyAsAReissue) {
  OpenWindow();
  Type(form().data, QStringLiteral("1006"));
  form().write_single->click();
  ASSERT_EQ(ValueOn(*card_), QStringLiteral("1006"));
  auto second = LayNewCard();

  const QString held = QStringLiteral(
      "Der Wert <1006> wurde in dieser Serie schon vergeben: Karte "
      "<04112233445566> am ");
  for (const BoxAnswer answer : {BoxAnswer::kNo, BoxAnswer::kCancel, BoxAnswer::kYes}) {
    SCOPED_TRACE(static_cast<int>(answer));
    boxes.clear();
    answers = {answer};
    Type(form().data, QStringLiteral("1006"));
    ASSERT_EQ(boxes.size(), 1) << boxes.join('\n').toStdString();
    EXPECT_TRUE(boxes[0].startsWith(held)) << boxes[0].toStdString();
    EXPECT_TRUE(boxes[0].endsWith(QStringLiteral("Den Wert noch einmal vergeben und schreiben?")));
    // Without a yes the series stays where it was.
    EXPECT_EQ(form().data->text(),
              answer == BoxAnswer::kYes ? QStringLiteral("1006") : QStringLiteral("1007"));
  }
  // The yes given while typing is the one question: the card is written without a second.
  form().write_single->click();
  EXPECT_EQ(boxes.size(), 1) << boxes.join('\n').toStdString();
  EXPECT_EQ(ValueOn(*second), QStringLiteral("1006"));
  EXPECT_EQ(StoredValue(), QStringLiteral("1007"));
  std::unique_ptr<quillmate::SeriesLedger> ledger = quillmate::OpenSqliteLedger(
      QDir(folder_.path()).filePath(QStringLiteral("KV-DESFire Quillmate.ledger.sqlite")), nullptr);
  ASSERT_NE(ledger, nullptr);
  const QStringList series = ledger->SeriesNames().value_or(QStringList());
  ASSERT_EQ(series.size(), 1);
  const std::vector<quillmate::LedgerEntry> rows = *ledger->Entries(series.front());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_FALSE(rows[0].reissue);
  EXPECT_TRUE(rows[1].reissue);
  EXPECT_EQ(rows[1].value, QStringLiteral("1006"));
  EXPECT_EQ(rows[1].uid.toHex().toUpper(), QByteArray("04212223242501"));
}

}  // namespace
}  // namespace quillmate_test
