// The simulator's account of the time each card kept the host busy: every command answered while
// the card lay in the field, when the first arrived, when the last reply was due and what the link
// model says the line and the card needed for them. The field runs on a hand-driven clock, so the
// times are exact.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "sim/link_model.h"
#include "sim/reader.h"
#include "sim/state_json.h"
#include "unit/reader/hex.h"
#include "unit/sim/sim_host.h"

namespace {

using kovra_sim::Bytes;
using kovra_sim::CardKind;
using kovra_sim::CommandTimes;
using kovra_sim::LinkModel;
using kovra_sim::ManualClock;
using kovra_sim::SimClock;
using kovra_sim::SimReader;
using kovra_test::Hex;
using std::chrono::microseconds;
using std::chrono::milliseconds;

// At 100000 baud a byte takes exactly 100 us on the line.
constexpr microseconds kPerByte(100);
constexpr milliseconds kPerExchange(1);

// A reader on a hand-driven field clock with a link model, and a host that waits for each reply.
class LinkAccountingTest : public ::testing::Test {
 protected:
  LinkAccountingTest() : reader_(Config()), host_(reader_, 0) {
    LinkModel model;
    model.baud = 100000;
    model.per_exchange = kPerExchange;
    reader_.SetLinkModel(model);
  }

  kovra_sim::SimReaderConfig Config() {
    kovra_sim::SimReaderConfig config;
    config.field_clock = clock_.Fn();
    return config;
  }

  // Sends a command, waits for its reply and returns the line time of both frames.
  SimClock::duration Ask(uint8_t code, const std::string &hex_data = "") {
    const Bytes frame = kovra_sim_test::CommandFrame(0, code, Hex(hex_data));
    reader_.Receive(frame);
    EXPECT_TRUE(reader_.WaitUntilDelivered(std::chrono::seconds(5)));
    const Bytes reply = host_.Take();
    EXPECT_FALSE(reply.empty()) << "no reply to " << int{code};
    return static_cast<long>(frame.size() + reply.size()) * kPerByte;
  }

  // Field on, select and RATS: the card is ready for exchanges. The line time of the three.
  SimClock::duration Activate() {
    SimClock::duration line = Ask(0xF5, "01");
    line += Ask(0x31);
    return line + Ask(0x41);
  }

  ManualClock clock_;
  SimReader reader_;
  kovra_sim_test::Host host_;
};

TEST_F(LinkAccountingTest, CountsEveryCommandAnsweredWhileTheCardLayThere) {
  Ask(0xF5, "01");  // an empty field: counts for nobody
  clock_.Advance(milliseconds(5));
  reader_.PlaceCard(CardKind::kIso);
  clock_.Advance(milliseconds(10));
  const SimClock::time_point first = clock_.Now();
  SimClock::duration modelled = Activate();
  clock_.Advance(milliseconds(3));
  const SimClock::time_point last = clock_.Now();
  const SimClock::duration exchange = Ask(0x45, "6E") + kPerExchange;
  modelled += exchange;
  reader_.RemoveCard();
  Ask(0x30);  // after the card left

  const auto history = reader_.CardHistory();
  ASSERT_EQ(history.size(), 1u);
  const CommandTimes &times = history[0].command_times;
  EXPECT_EQ(times.commands, 4u);
  EXPECT_EQ(times.first_command, first);
  EXPECT_EQ(times.last_reply, last + exchange);
  EXPECT_EQ(times.modelled, modelled);
}

TEST_F(LinkAccountingTest, TheCommandThatTakesTheCardAwayCountsForIt) {
  reader_.PlaceCard(CardKind::kIso);
  SimClock::duration modelled = Activate();
  reader_.RemoveCardAfterExchanges(1);
  modelled += Ask(0x45, "6E") + kPerExchange;
  ASSERT_EQ(reader_.CardInField(), nullptr);
  reader_.PlaceCard(CardKind::kIso);
  const SimClock::duration next = Ask(0xF5, "01");

  const auto history = reader_.CardHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].command_times.commands, 4u);
  EXPECT_EQ(history[0].command_times.modelled, modelled);
  CommandTimes present;
  reader_.WithField([&](kovra_sim::Field &field) { present = field.PresentCommandTimes(); });
  EXPECT_EQ(present.commands, 1u);  // the next card starts afresh
  EXPECT_EQ(present.modelled, next);
}

// A 0xAF frame takes the continuation time of the command it goes on with, which the reader
// remembers across exchanges.
TEST_F(LinkAccountingTest, TypicalCardTimesFollowTheCommandAnAdditionalFrameContinues) {
  LinkModel model = *reader_.GetLinkModel();
  model.card_times = kovra_sim::TypicalCardTimes();
  reader_.SetLinkModel(model);
  reader_.PlaceCard(CardKind::kIso);  // echoes every block; the times depend on the host's side
  const SimClock::duration activation = Activate();
  SimClock::duration line{0};
  for (const char *block : {"AA 00", "AF 01", "3D 01", "AF 02", "AF 03", "77"})
    line += Ask(0x45, block);
  // Authenticate 2.5 + its second step 3, a write in three frames 3 x 5, an unknown code 1 (the
  // fixed per-exchange time).
  const SimClock::duration card = microseconds(2500 + 3000 + 3 * 5000) + kPerExchange;
  CommandTimes present;
  reader_.WithField([&](kovra_sim::Field &field) { present = field.PresentCommandTimes(); });
  EXPECT_EQ(present.modelled, activation + line + card);
}

TEST(ExchangeTimeTest, FallsBackToThePerExchangeTime) {
  LinkModel typical;
  typical.per_exchange = milliseconds(4);
  typical.card_times = kovra_sim::TypicalCardTimes();
  LinkModel fixed;
  fixed.per_exchange = milliseconds(4);
  struct Case {
    const char *what;
    const LinkModel &model;
    std::string block;
    std::optional<uint8_t> continued;
    SimClock::duration expected;
  };
  const Case cases[] = {
      {"a known code", typical, "C4 01", std::nullopt, milliseconds(7)},
      {"a code without a time", typical, "77", 0xAA, milliseconds(4)},
      {"0xAF with nothing before it", typical, "AF", std::nullopt, milliseconds(4)},
      {"an empty block", typical, "", 0xAA, milliseconds(4)},
      {"no card times", fixed, "AA 00", std::nullopt, milliseconds(4)},
      {"no card times, 0xAF", fixed, "AF", 0xAA, milliseconds(4)},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(kovra_sim::ExchangeTime(c.model, Hex(c.block), c.continued), c.expected) << c.what;
  }
}

TEST_F(LinkAccountingTest, TheStateListsTheTimesOfThePresentAndTheLeftCards) {
  clock_.Advance(milliseconds(7));
  reader_.PlaceCard(CardKind::kIso);
  clock_.Advance(milliseconds(3));
  Ask(0xF5, "01");  // 6 + 5 bytes: 1.1 ms
  const std::string timed =
      R"("timing":{"commands":1,"first_command_us":10000,"last_reply_us":11100,)"
      R"("modelled_us":1100})";
  EXPECT_NE(kovra_sim::StateJson(reader_).find(R"("field":{"on":true,"card":{)"),
            std::string::npos);
  EXPECT_NE(kovra_sim::StateJson(reader_).find(timed), std::string::npos);

  reader_.PlaceCard(CardKind::kIso);  // the first card leaves, the second has answered nothing
  const std::string state = kovra_sim::StateJson(reader_);
  const size_t history = state.find(R"("history":[)");
  ASSERT_NE(history, std::string::npos);
  EXPECT_NE(state.find(timed, history), std::string::npos);
  const size_t untouched = state.find(
      R"("timing":{"commands":0,"first_command_us":null,"last_reply_us":null,"modelled_us":0})");
  EXPECT_LT(untouched, history);
}

}  // namespace
