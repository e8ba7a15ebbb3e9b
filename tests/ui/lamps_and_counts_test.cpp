// The lamp panel of a running cycle against the simulated reader: the lamp tells what happens now,
// both cycles show it with their running counts, and a cycle's end leaves its summary line.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "ui/hex_edit.h"
#include "ui/lamp_panel.h"
#include "window_rig.h"

namespace quillmate_test {
namespace {

using quillmate::Cycle;
using quillmate::Lamp;
using quillmate::ui::BoxAnswer;

class LampsAndCounts : public WindowRig {
 protected:
  quillmate::ui::LampPanel &lamps() { return *form().lamps; }

  // Starts the cycle of `button` on the job with data "1" (its warnings answered Yes).
  void StartCycle(QPushButton *button, Cycle cycle) {
    answers = {BoxAnswer::kYes};
    button->click();
    ASSERT_EQ(window().Operations().RunningCycle(), cycle)
        << window().StatusLines().join('\n').toStdString();
  }

  std::shared_ptr<kovra_sim::DesfireCard> NewCard(uint8_t last) {
    auto card = std::make_shared<kovra_sim::DesfireCard>(
        kovra_sim::Bytes{0x04, 0x31, 0x32, 0x33, 0x34, 0x35, last});
    reader_.PlaceCard(card);
    return card;
  }
};

TEST_F(LampsAndCounts, WriteCycleWaitsWithTheLampsOffAndCountsItsCards) {
  OpenWindow();
  Type(form().data, QStringLiteral("1"));
  reader_.RemoveCard();
  StartCycle(form().write_cycle, Cycle::kWrite);
  ASSERT_TRUE(lamps().isVisible());
  QTest::qWait(3 * window().Operations().RunningPeriodMs());
  EXPECT_EQ(lamps().Lit(), Lamp::kWaiting) << "no card yet: no failure to show";

  for (uint8_t card = 1; card <= 2; ++card) {
    NewCard(card);
    ASSERT_TRUE(WaitFor([&] { return lamps().Lit() == Lamp::kGreen; }));
    EXPECT_EQ(lamps().CountsText(), QStringLiteral("Karten: %1\nFehlversuche: 0").arg(card));
    reader_.RemoveCard();
    ASSERT_TRUE(WaitFor([&] { return lamps().Lit() == Lamp::kWaiting; }))
        << "the card taken away: the cycle waits for the next";
  }

  form().write_cycle->click();
  EXPECT_EQ(window().StatusLines().last(),
            QStringLiteral("2 Karten fertig, 0 Fehlversuche, 0 Werte übersprungen"));
}

TEST_F(LampsAndCounts, ReadCycleShowsItsLampsCountsAndTheValuesRead) {
  OpenWindow();
  Type(form().data, QStringLiteral("7"));
  form().write_single->click();
  ASSERT_EQ(form().data->text(), QStringLiteral("8"));
  StartCycle(form().read_cycle, Cycle::kRead);
  ASSERT_TRUE(lamps().isVisible());
  ASSERT_TRUE(WaitFor([&] { return lamps().Lit() == Lamp::kGreen; }));
  EXPECT_TRUE(window().StatusLines().contains(QStringLiteral("Wert <7> gelesen")))
      << window().StatusLines().join('\n').toStdString();
  EXPECT_EQ(lamps().CountsText(), QStringLiteral("Karten: 1\nFehlversuche: 0"));

  form().read_cycle->click();
  EXPECT_EQ(window().StatusLines().last(),
            QStringLiteral("1 Karten fertig, 0 Fehlversuche, 0 Werte übersprungen"));
  EXPECT_FALSE(lamps().isVisible());
}

TEST_F(LampsAndCounts, AFailedCardTurnsRedAndCountsAsAFailedAttempt) {
  OpenWindow();
  Type(form().data, QStringLiteral("1"));
  Type(form().card_key, QStringLiteral("00112233445566778899AABBCCDDEEFF"));
  reader_.RemoveCard();
  StartCycle(form().write_cycle, Cycle::kWrite);
  // A card whose card master key is neither the job's nor the factory key: the write fails at
  // once.
  auto foreign = std::make_shared<kovra_sim::DesfireCard>(kUid);
  foreign->EditContent().master_key.type = kovra_sim::DesfireKeyType::kAes;
  foreign->EditContent().master_key.bytes = kovra_sim::Bytes(16, 0x5A);
  reader_.PlaceCard(foreign);
  ASSERT_TRUE(WaitFor([&] { return lamps().Lit() == Lamp::kRed; }));
  ASSERT_TRUE(WaitFor([&] { return lamps().CountsText().endsWith(QStringLiteral(": 1")); }));
  EXPECT_TRUE(lamps().CountsText().startsWith(QStringLiteral("Karten: 0\n")));
}

TEST_F(LampsAndCounts, ALostReaderPutsOutTheGreenLamp) {
  OpenWindow();
  Type(form().data, QStringLiteral("1"));
  StartCycle(form().write_cycle, Cycle::kWrite);
  ASSERT_TRUE(WaitFor([&] { return lamps().Lit() == Lamp::kGreen; }));
  DropLinkForGood();
  EXPECT_TRUE(WaitFor([&] { return lamps().Lit() == Lamp::kRed; }))
      << window().StatusLines().join('\n').toStdString();
  form().write_cycle->click();
}

}  // namespace
}  // namespace quillmate_test
