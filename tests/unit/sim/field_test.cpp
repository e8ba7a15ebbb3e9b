// The card field: card flows timed by a clock the test drives, the history of cards that left,
// and the remove-after fault.
#include "sim/field.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "sim/reader.h"
#include "unit/sim/sim_host.h"

namespace {

using kovra_sim::Activation;
using kovra_sim::CardKind;
using kovra_sim::FeedPlan;
using kovra_sim::Field;
using kovra_sim::LeaveReason;
using kovra_sim::ManualClock;
using kovra_test::Hex;
using std::chrono::milliseconds;

FeedPlan Plan(size_t count, int leave_ms, int gap_ms) {
  FeedPlan plan;
  plan.count = count;
  plan.leave_after = milliseconds(leave_ms);
  plan.gap = milliseconds(gap_ms);
  return plan;
}

class SimFieldTest : public ::testing::Test {
 protected:
  ManualClock clock_;
  Field field_{clock_.Fn(), 1234};

  // Activates the card in the field and lets it answer one exchange.
  void Exchange() {
    field_.SetPower(true);
    ASSERT_NE(field_.PresentIso(), nullptr);
    field_.SetActivation(Activation::kLayer4);
    field_.PresentIso()->Exchange({0x60});
    field_.NoteExchange();
  }
  milliseconds SinceEpoch(kovra_sim::SimClock::time_point at) {
    return std::chrono::duration_cast<milliseconds>(at - field_.Epoch());
  }
};

TEST_F(SimFieldTest, FedCardsLeaveAfterTheirLastExchangeAndTheNextArrivesAfterTheGap) {
  field_.Feed(Plan(3, 300, 200));
  ASSERT_NE(field_.Present(), nullptr);  // the first card is there at once
  EXPECT_EQ(field_.CardsToCome(), 2u);
  const kovra_sim::Bytes first = field_.Present()->Uid();

  clock_.Advance(milliseconds(250));
  Exchange();  // restarts the card's 300 ms
  clock_.Advance(milliseconds(299));
  ASSERT_NE(field_.Present(), nullptr);
  clock_.Advance(milliseconds(1));  // 300 ms after the exchange: gone
  EXPECT_EQ(field_.Present(), nullptr);
  clock_.Advance(milliseconds(199));
  EXPECT_EQ(field_.Present(), nullptr);
  clock_.Advance(milliseconds(1));  // the gap has passed
  ASSERT_NE(field_.Present(), nullptr);
  EXPECT_NE(field_.Present()->Uid(), first);

  // Nobody touches the rest: each leaves 300 ms after it came. Looking only at the end still
  // gives the computed times.
  clock_.Advance(milliseconds(5000));
  EXPECT_EQ(field_.Present(), nullptr);
  EXPECT_EQ(field_.CardsToCome(), 0u);
  const auto &history = field_.History();
  ASSERT_EQ(history.size(), 3u);
  const int arrived[] = {0, 750, 1250};
  const int left[] = {550, 1050, 1550};
  std::set<std::string> uids;  // as strings: GCC 12 at -O3 warns falsely on a set of vectors
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(SinceEpoch(history[i].arrived), milliseconds(arrived[i])) << i;
    EXPECT_EQ(SinceEpoch(history[i].left), milliseconds(left[i])) << i;
    EXPECT_EQ(history[i].reason, LeaveReason::kLeft);
    EXPECT_EQ(history[i].kind, CardKind::kDesfire);
    ASSERT_EQ(history[i].uid.size(), 7u);
    EXPECT_EQ(history[i].uid[0], 0x04);
    uids.insert(std::string(history[i].uid.begin(), history[i].uid.end()));
  }
  EXPECT_EQ(uids.size(), 3u);  // every card fresh
  EXPECT_EQ(history[0].exchanges, 1u);
  EXPECT_EQ(history[0].uid, first);
}

TEST_F(SimFieldTest, CardsThatLeftComeBackInTheirOrderWithTheirContent) {
  EXPECT_EQ(field_.FeedAgain(2, Plan(1, 300, 200)), 0u);  // nothing has left yet
  field_.Feed(Plan(3, 100, 0));
  clock_.Advance(milliseconds(1000));
  std::vector<const kovra_sim::Card *> first_round;
  for (const auto &left : field_.History()) first_round.push_back(left.card.get());
  ASSERT_EQ(first_round.size(), 3u);

  // Only the last two are asked back, more than that is capped at what the history holds.
  ASSERT_EQ(field_.FeedAgain(2, Plan(1, 100, 50)), 2u);
  EXPECT_EQ(field_.Present(), first_round[1]);  // the same card object, so what it holds
  clock_.Advance(milliseconds(100));
  EXPECT_EQ(field_.Present(), nullptr);
  clock_.Advance(milliseconds(50));
  EXPECT_EQ(field_.Present(), first_round[2]);
  clock_.Advance(milliseconds(100));
  EXPECT_EQ(field_.Present(), nullptr);
  EXPECT_EQ(field_.CardsToCome(), 0u);
  EXPECT_EQ(field_.FeedAgain(10, Plan(1, 100, 0)), 5u);
}

TEST_F(SimFieldTest, PlacingRemovingAndFeedingEndWhatWasGoingOn) {
  field_.PlaceNew(CardKind::kClassic1K, Hex("01 02 03 04"));
  clock_.Advance(milliseconds(10000));
  ASSERT_NE(field_.Present(), nullptr);  // a placed card stays until removed
  field_.Feed(Plan(5, 300, 200));        // takes it away, the first fed card comes at once
  ASSERT_NE(field_.Present(), nullptr);
  field_.Remove();  // ends the flow
  clock_.Advance(milliseconds(10000));
  EXPECT_EQ(field_.Present(), nullptr);
  EXPECT_EQ(field_.CardsToCome(), 0u);
  const auto &history = field_.History();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].reason, LeaveReason::kReplaced);
  EXPECT_EQ(history[0].uid, Hex("01 02 03 04"));
  EXPECT_EQ(history[1].reason, LeaveReason::kRemoved);
}

TEST_F(SimFieldTest, SwitchingTheFieldOffTakesTheCardBackToIdle) {
  field_.PlaceNew(CardKind::kIso);
  Exchange();
  EXPECT_EQ(field_.State(), Activation::kLayer4);
  field_.SetPower(false);
  EXPECT_EQ(field_.State(), Activation::kIdle);
  EXPECT_FALSE(field_.PowerOn());
}

TEST_F(SimFieldTest, RemoveAfterTakesTheCardAwayAfterTheKthExchangeAndTheFlowGoesOn) {
  field_.Feed(Plan(2, 300, 200));
  field_.RemoveAfterExchanges(2);
  Exchange();
  ASSERT_NE(field_.Present(), nullptr);
  clock_.Advance(milliseconds(10));
  Exchange();
  EXPECT_EQ(field_.Present(), nullptr);  // gone right after its second exchange
  EXPECT_FALSE(field_.RemoveAfterArmed().has_value());
  ASSERT_EQ(field_.History().size(), 1u);
  EXPECT_EQ(field_.History()[0].reason, LeaveReason::kFault);
  EXPECT_EQ(field_.History()[0].exchanges, 2u);
  clock_.Advance(milliseconds(200));
  EXPECT_NE(field_.Present(), nullptr);  // the next card after the gap

  field_.RemoveAfterExchanges(0);  // at once
  EXPECT_EQ(field_.Present(), nullptr);
  EXPECT_EQ(field_.History().size(), 2u);
}

TEST(SimFieldRealClockTest, AFeedRunsOnTheSteadyClock) {
  // Short times on the real clock; the waits are bounded and only check that cards come and go.
  kovra_sim::SimReader reader;
  reader.FeedCards(Plan(2, 20, 10));
  EXPECT_NE(reader.CardInField(), nullptr);
  const auto deadline = kovra_sim::SimClock::now() + std::chrono::seconds(5);
  while (reader.CardHistory().size() < 2 && kovra_sim::SimClock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  const auto history = reader.CardHistory();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_GE(history[0].left - history[0].arrived, milliseconds(20));
  EXPECT_GE(history[1].arrived - history[0].left, milliseconds(10));
  EXPECT_EQ(reader.CardInField(), nullptr);
}

// Writing to a fed card keeps it in the field; an operator takes it away once it is written.
TEST(SimFieldReaderTest, WritesThroughTheReaderKeepAFedCardInTheField) {
  ManualClock clock;
  kovra_sim::SimReaderConfig config;
  config.field_clock = clock.Fn();
  kovra_sim::SimReader reader(config);
  kovra_sim_test::Host host(reader, 0);
  FeedPlan plan = Plan(2, 300, 200);
  plan.kind = kovra_sim::CardKind::kIso;  // the echoing card
  reader.FeedCards(plan);
  host.Send(0xF5, std::string("01"));
  host.Send(0x31);
  host.Send(0x41);
  for (int i = 0; i < 10; ++i) {  // 2.5 s of writing to the first card, a frame every 250 ms
    clock.Advance(milliseconds(250));
    EXPECT_EQ(host.Send(0x45, std::string("3D")).data, "3D") << i;
  }
  clock.Advance(milliseconds(300));
  EXPECT_EQ(host.Send(0x45, std::string("3D")).status, 0x15);  // gone: no transponder
  const auto history = reader.CardHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].exchanges, 10u);
  EXPECT_EQ(history[0].left - history[0].arrived, milliseconds(2800));
}

// A host that only checks whether the card is still there (no write) does not hold it.
TEST(SimFieldReaderTest, ChecksWithoutWritingDoNotHoldAFedCard) {
  ManualClock clock;
  kovra_sim::SimReaderConfig config;
  config.field_clock = clock.Fn();
  kovra_sim::SimReader reader(config);
  kovra_sim_test::Host host(reader, 0);
  FeedPlan plan = Plan(2, 300, 200);
  plan.kind = kovra_sim::CardKind::kIso;
  reader.FeedCards(plan);
  host.Send(0xF5, std::string("01"));
  host.Send(0x31);
  host.Send(0x41);
  clock.Advance(milliseconds(200));
  EXPECT_EQ(host.Send(0x45, std::string("6E")).data, "6E");
  clock.Advance(milliseconds(200));  // 400 ms after arrival, 200 ms after the check
  EXPECT_EQ(host.Send(0x45, std::string("6E")).status, 0x15);
}

}  // namespace
