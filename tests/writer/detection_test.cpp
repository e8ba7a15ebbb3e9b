// Card detection against the simulated reader: activation up to the PPS, the memory of the card
// processed last in single and cyclic operation (the presence check, the one-second rule), the
// refusal of cards that are no DESFire cards, and which failures are silent.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim_rig.h"
#include "writer/cards/card_calls.h"
#include "writer/cards/card_detection.h"

namespace {

using quillmate::DetectCard;
using quillmate::Lamp;
using quillmate::PpsParameter;
using quillmate_test::SimRig;
using quillmate_test::ToQt;

const QString kNoCard = QStringLiteral("Kein gültiger Transponder vorhanden!");

class Detection : public SimRig {
 protected:
  // How often the reader saw this firmware command (0x30 request, 0xF5 RF field, ...).
  size_t Count(uint8_t code) const {
    const auto commands = reader_.ReceivedCommands();
    return static_cast<size_t>(std::count_if(
        commands.begin(), commands.end(), [code](auto &c) { return c.code && *c.code == code; }));
  }
  // What the write operation does after a card was written: it remembers the card.
  void MarkProcessed() { context_.cards.last_uid = context_.cards.current_uid; }
  uint8_t LastPps() {
    uint8_t pps = 0;
    reader_.WithFirmware([&pps](kovra_sim::Firmware &firmware) { pps = firmware.LastPps(); });
    return pps;
  }
};

TEST_F(Detection, SingleActivatesTheCardEveryTime) {
  ASSERT_TRUE(DetectCard(context_, false));
  EXPECT_EQ(context_.cards.current_uid, ToQt(kUid));
  EXPECT_EQ(context_.cards.last_seen_tick, now_ms);
  EXPECT_EQ(LastPps(), 0x0F);  // ATS format byte 0x75
  EXPECT_GT(KOVRA_DESFireGetFreeMemory(handle_), 0) << "the card takes DESFire commands";

  // The last card still lies there: a single operation processes it again.
  MarkProcessed();
  EXPECT_TRUE(DetectCard(context_, false));
  EXPECT_FALSE(context_.cards.same_card);
  EXPECT_TRUE(front_end_.lines.isEmpty());
}

TEST_F(Detection, CycleSkipsTheCardThatStaysWithoutResettingIt) {
  ASSERT_TRUE(DetectCard(context_, true));  // nothing processed yet: a new card
  MarkProcessed();
  const size_t requests = Count(0x30);
  const size_t field_switches = Count(0xF5);
  for (int tick = 0; tick < 3; ++tick) {
    now_ms += 250;
    EXPECT_FALSE(DetectCard(context_, true));
    EXPECT_TRUE(context_.cards.same_card);
  }
  EXPECT_EQ(Count(0x30), requests) << "the presence check alone recognised the card";
  EXPECT_EQ(Count(0xF5), field_switches);
  EXPECT_TRUE(front_end_.lines.isEmpty());
  EXPECT_TRUE(front_end_.lamps.empty());
}

TEST_F(Detection, CardBackWithinASecondIsSkipped) {
  ASSERT_TRUE(DetectCard(context_, true));
  MarkProcessed();

  Place(nullptr);
  now_ms += 600;
  EXPECT_FALSE(DetectCard(context_, true));
  EXPECT_EQ(front_end_.lamps, std::vector<Lamp>{Lamp::kWaiting});
  EXPECT_EQ(context_.cards.last_uid, ToQt(kUid)) << "gone for less than a second: remembered";

  Place(card_);
  now_ms += 300;
  EXPECT_FALSE(DetectCard(context_, true));
  EXPECT_TRUE(context_.cards.same_card);
  EXPECT_EQ(context_.cards.last_seen_tick, now_ms);
  EXPECT_TRUE(front_end_.lines.isEmpty()) << "an empty field is silent in a cycle";
}

TEST_F(Detection, CardBackAfterASecondIsProcessedAgain) {
  ASSERT_TRUE(DetectCard(context_, true));
  MarkProcessed();
  now_ms += 5000;  // the card rested on the reader; presence checks do not renew the tick
  EXPECT_FALSE(DetectCard(context_, true));

  Place(nullptr);
  now_ms += 250;  // first empty tick, more than a second after the last full detection
  EXPECT_FALSE(DetectCard(context_, true));
  EXPECT_TRUE(context_.cards.last_uid.isEmpty());
  EXPECT_EQ(context_.cards.last_seen_tick, 0u);

  now_ms += 250;
  EXPECT_FALSE(DetectCard(context_, true));
  EXPECT_EQ(front_end_.lamps.size(), 1u)
      << "the lamps go off only while a processed card is remembered";

  Place(card_);
  now_ms += 250;
  EXPECT_TRUE(DetectCard(context_, true));
  EXPECT_FALSE(context_.cards.same_card);
}

TEST_F(Detection, AnotherCardInTheCycleIsNew) {
  ASSERT_TRUE(DetectCard(context_, true));
  MarkProcessed();
  Place(FreshDesfire({0x04, 0x99, 0x88, 0x77, 0x66, 0x55, 0x44}));
  now_ms += 250;
  EXPECT_TRUE(DetectCard(context_, true));
  EXPECT_EQ(context_.cards.current_uid, QByteArray::fromHex("04998877665544"));
}

TEST_F(Detection, EmptyFieldIsReportedOnlyInSingleOperation) {
  Place(nullptr);
  EXPECT_FALSE(DetectCard(context_, true));
  EXPECT_TRUE(front_end_.lines.isEmpty());
  EXPECT_FALSE(DetectCard(context_, false));
  EXPECT_EQ(front_end_.lines, QStringList{kNoCard});

  // A reader that does not answer at all counts the same (in a cycle too: each silent call costs
  // the port's timeout, so only the single case is run).
  Place(card_);
  front_end_.lines.clear();
  reader_.SetSilent(true);
  EXPECT_FALSE(DetectCard(context_, false));
  EXPECT_EQ(front_end_.lines, QStringList{kNoCard});
}

// A layer-3 card with a SAK of the test's choice.
class SakCard : public kovra_sim::Card {
 public:
  explicit SakCard(uint8_t sak) : sak_(sak) {}
  kovra_sim::CardKind Kind() const override { return kovra_sim::CardKind::kClassic1K; }
  uint16_t Atqa() const override { return 0x0004; }
  uint8_t Sak() const override { return sak_; }
  kovra_sim::Bytes Uid() const override { return {0xDE, 0xAD, 0xBE, 0xEF}; }

 private:
  uint8_t sak_;
};

TEST_F(Detection, CardsOfOtherKindsAreRefusedInEveryMode) {
  using kovra_sim::CardKind;
  struct Case {
    std::shared_ptr<kovra_sim::Card> card;
    QString line;
  };
  const Case cases[] = {
      {kovra_sim::MakeStandardCard(CardKind::kClassic1K, {1, 2, 3, 4}),
       QStringLiteral("Ungültiger Transpondertyp: MIFARE® 1K")},
      {std::make_shared<SakCard>(0x88), QStringLiteral("Ungültiger Transpondertyp: MIFARE® 1K")},
      {kovra_sim::MakeStandardCard(CardKind::kClassic4K, {1, 2, 3, 4}),
       QStringLiteral("Ungültiger Transpondertyp: MIFARE® 4K")},
      {kovra_sim::MakeStandardCard(CardKind::kUltralight, {4, 1, 2, 3, 4, 5, 6}),
       QStringLiteral("Ungültiger Transpondertyp: MIFARE Ultralight®")},
      {std::make_shared<SakCard>(0x09), QStringLiteral("Ungültiger Transpondertyp: SAK(09)")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line.toStdString());
    Place(c.card);
    front_end_.lines.clear();
    EXPECT_FALSE(DetectCard(context_, false));
    EXPECT_FALSE(DetectCard(context_, true));
    EXPECT_EQ(front_end_.lines, (QStringList{c.line, c.line}));
    EXPECT_EQ(context_.cards.last_seen_tick, 0u) << "no DESFire card was seen";
  }
}

TEST_F(Detection, ReaderErrorsAfterTheRequestAreReportedWithTheirStep) {
  reader_.PushReply(0x31, kovra_sim::Reply::Error(kovra_sim::ReplyStatus::kNotAccepted));
  EXPECT_FALSE(DetectCard(context_, true));
  ASSERT_EQ(front_end_.lines.size(), 1);
  EXPECT_TRUE(front_end_.lines[0].endsWith(QLatin1String(" <Select()>")))
      << front_end_.lines[0].toStdString();
  EXPECT_GT(front_end_.lines[0].size(), 12) << "the error text comes first";

  front_end_.lines.clear();
  reader_.PushReply(0x41, kovra_sim::Reply::Error(kovra_sim::ReplyStatus::kNotAccepted));
  EXPECT_FALSE(DetectCard(context_, false));
  ASSERT_EQ(front_end_.lines.size(), 1);
  EXPECT_TRUE(front_end_.lines[0].endsWith(QLatin1String(" <Rats()>")));

  front_end_.lines.clear();
  reader_.PushReply(0x42, kovra_sim::Reply::Error(kovra_sim::ReplyStatus::kNotAccepted));
  EXPECT_FALSE(DetectCard(context_, false));
  ASSERT_EQ(front_end_.lines.size(), 1);
  EXPECT_TRUE(front_end_.lines[0].endsWith(QLatin1String(" <PPS()>")));

  // A card that leaves between request and select is an empty field: silent.
  front_end_.lines.clear();
  reader_.PushReply(0x31, kovra_sim::Reply::Error(kovra_sim::ReplyStatus::kNoCard));
  EXPECT_FALSE(DetectCard(context_, false));
  EXPECT_TRUE(front_end_.lines.isEmpty());
}

TEST(PpsParameter, DivisorsFromTheFormatByte) {
  struct Case {
    unsigned char format;
    int parameter;
  };
  const Case cases[] = {{0x77, 0x0F}, {0x75, 0x0F}, {0x00, 0x00}, {0x21, 0x09},
                        {0x10, 0x04}, {0x42, 0x0E}, {0x88, 0x00}};
  for (const Case &c : cases) {
    EXPECT_EQ(PpsParameter(c.format), c.parameter) << std::hex << int{c.format};
  }
}

}  // namespace
