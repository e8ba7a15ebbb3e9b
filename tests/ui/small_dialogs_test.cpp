// The settings dialog of cycle and beep.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "message_recorder.h"
#include "ui/beep_time_dlg.h"

static void PrintTo(const QString &text, std::ostream *out) {
  *out << '"' << text.toStdString() << '"';
}

namespace quillmate::ui {
namespace {

using quillmate_test::MessageRecorder;

const QString kPositive = QStringLiteral("Geben Sie eine positive ganze Zahl ein.");

// Each refusal names its field, focuses it with the text selected, keeps the dialog open and the
// values as they were.
TEST(BeepTimeDlgTest, RefusesWhatIsNoNumberOrOutOfRange) {
  const QString beep_range = QStringLiteral("Geben Sie eine ganze Zahl zwischen 0 und 1000 ein.");
  const QString cycle_range =
      QStringLiteral("Geben Sie eine ganze Zahl zwischen 100 und 10000 ein.");
  const struct {
    QString beep, cycle, message;
    bool beep_refused;
  } cases[] = {
      {QStringLiteral("abc"), QStringLiteral("250"), kPositive, true},
      {QString(), QStringLiteral("250"), kPositive, true},
      {QStringLiteral("-5"), QStringLiteral("250"), kPositive, true},
      {QStringLiteral("1 0"), QStringLiteral("250"), kPositive, true},
      {QStringLiteral("1001"), QStringLiteral("x"), beep_range, true},
      {QStringLiteral("99999999999"), QStringLiteral("250"), beep_range, true},
      {QStringLiteral("300"), QStringLiteral("0x100"), kPositive, false},
      {QStringLiteral("300"), QStringLiteral("99"), cycle_range, false},
      {QStringLiteral("300"), QStringLiteral("10001"), cycle_range, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE((c.beep + u'/' + c.cycle).toStdString());
    MessageRecorder boxes;
    CBeepTimeDlg dialog(300, 250);
    auto *beep = dialog.findChild<QLineEdit *>(QStringLiteral("beepTime"));
    auto *cycle = dialog.findChild<QLineEdit *>(QStringLiteral("cyclePeriod"));
    ASSERT_TRUE(beep && cycle);
    EXPECT_EQ(beep->text(), QStringLiteral("300"));
    EXPECT_EQ(cycle->text(), QStringLiteral("250"));
    beep->setText(c.beep);
    cycle->setText(c.cycle);
    dialog.show();

    dialog.accept();
    EXPECT_EQ(boxes.texts, QStringList{c.message});
    EXPECT_TRUE(dialog.isVisible());
    QLineEdit *refused = c.beep_refused ? beep : cycle;
    EXPECT_EQ(dialog.focusWidget(), refused);
    EXPECT_EQ(refused->selectedText(), refused->text());
    EXPECT_EQ(dialog.BeepTimeMs(), 300);
    EXPECT_EQ(dialog.CyclePeriodMs(), 250);
  }
}

TEST(BeepTimeDlgTest, AcceptsTheBoundsOfBothRanges) {
  const struct {
    QString beep, cycle;
    int beep_ms, cycle_ms;
  } cases[] = {
      {QStringLiteral(" 0 "), QStringLiteral("+10000"), 0, 10000},
      {QStringLiteral("1000"), QStringLiteral("0100"), 1000, 100},
  };
  for (const auto &c : cases) {
    MessageRecorder boxes;
    CBeepTimeDlg dialog(300, 250);
    dialog.findChild<QLineEdit *>(QStringLiteral("beepTime"))->setText(c.beep);
    dialog.findChild<QLineEdit *>(QStringLiteral("cyclePeriod"))->setText(c.cycle);
    dialog.show();
    dialog.accept();
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.BeepTimeMs(), c.beep_ms);
    EXPECT_EQ(dialog.CyclePeriodMs(), c.cycle_ms);
  }
}

}  // namespace
}  // namespace quillmate::ui
