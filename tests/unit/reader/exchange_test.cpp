// A transponder exchange collected over the reader's "more data" parts, and bounded where a reader
// never stops announcing more.
#include "reader/exchange.h"

#include <gtest/gtest.h>

#include "hex.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

namespace kovra {
namespace {

using kovra_sim::Reply;
using kovra_sim::SimReader;
using kovra_test::Hex;
using kovra_test::ToHex;

TEST(Exchange, CollectsTheAnswerAcrossMoreDataParts) {
  SimReader reader;
  auto port = kovra_test::MakeSimPort(reader, 0);
  std::vector<uint8_t> first(30), second(10);
  for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i);
  for (size_t i = 0; i < second.size(); ++i) second[i] = static_cast<uint8_t>(0x80 + i);
  reader.ScriptExchangeInParts({first, second});

  const uint8_t block[] = {0x60};
  uint8_t answer[64];
  ASSERT_EQ(Exchange(*port, block, sizeof block, answer, sizeof answer), 40);
  EXPECT_EQ(answer[0], 0x00);
  EXPECT_EQ(answer[29], 29);
  EXPECT_EQ(answer[30], 0x80);
  EXPECT_EQ(port->LastError(), 0);
  const auto frames = reader.ReceivedFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(ToHex(frames[1]), "02 01 46 00 47");

  reader.ScriptExchangeInParts({first, second});
  EXPECT_EQ(Exchange(*port, block, sizeof block, answer, 39), -1);
  EXPECT_EQ(port->LastError(), 5);
}

TEST(Exchange, AFailingPartFailsTheExchange) {
  SimReader reader;
  kovra_test::SimPortOptions options;
  options.timeout_ms = 30;
  auto port = kovra_test::MakeSimPort(reader, 0, options);
  reader.PushReply(0x45, Reply::MoreData(Hex("01 02")));
  reader.PushReply(0x46, Reply::Error(kovra_sim::ReplyStatus::kNoCard));
  const uint8_t block[] = {0x60};
  CMyByteArray answer;
  EXPECT_FALSE(Exchange(*port, block, sizeof block, answer));
  EXPECT_EQ(port->LastError(), 21);
}

TEST(Exchange, AReaderThatNeverStopsAnnouncingMoreDataIsCut) {
  SimReader reader;
  auto port = kovra_test::MakeSimPort(reader, 0);
  reader.SetFixedReply(0x45, Reply::MoreData(Hex("01")));
  reader.SetFixedReply(0x46, Reply::MoreData(Hex("02")));
  const uint8_t block[] = {0x60};
  CMyByteArray answer;
  EXPECT_FALSE(Exchange(*port, block, sizeof block, answer));
  EXPECT_EQ(port->LastError(), 20);
}

}  // namespace
}  // namespace kovra
