// The simulated reader behind a real library port, through the transport seam.
#include "support/sim_transport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "reader/sdk_app.h"
#include "unit/reader/hex.h"

namespace {

using kovra::CMyByteArray;
using kovra_sim::SimReader;
using kovra_sim::SimReaderConfig;
using kovra_test::MakeSimPort;
using kovra_test::SimPortOptions;
using kovra_test::SimTransport;
using kovra_test::ToHex;
using Delivery = SimTransport::Delivery;
using std::chrono::milliseconds;

SimReaderConfig Family(int family) {
  SimReaderConfig config;
  config.family = family;
  return config;
}

SimPortOptions Options(Delivery delivery, unsigned timeout_ms = 500) {
  SimPortOptions options;
  options.delivery = delivery;
  options.timeout_ms = timeout_ms;
  return options;
}

std::string Hex(const CMyByteArray &bytes) {
  return ToHex(bytes.Bytes());
}

class SimTransportVersionTest : public ::testing::TestWithParam<std::tuple<int, Delivery>> {};

TEST_P(SimTransportVersionTest, VersionCommandGivesTheSimulatorsAnswer) {
  const auto [family, delivery] = GetParam();
  const char *expected[] = {"31 32 33 34", "31 32 33 34", "04 05 31 35",
                            "00 00 00 00 31 32 33 34 00"};
  SimReader reader(Family(family));
  auto port = MakeSimPort(reader, family, Options(delivery));

  CMyByteArray reply;
  ASSERT_TRUE(port->Command(0xF0, nullptr, 0, reply)) << port->LastError();
  EXPECT_EQ(Hex(reply), expected[family]);
  EXPECT_EQ(port->LastError(), 0);
  EXPECT_EQ(reader.CommandCount(0xF0), 1u);

  if (family == 2) {
    const uint8_t follow_up[] = {'F', 'V'};
    ASSERT_TRUE(port->Command(0xF0, follow_up, sizeof follow_up, reply));
    EXPECT_EQ(Hex(reply), "31 32 33 34");
  }
}

INSTANTIATE_TEST_SUITE_P(SimTransport, SimTransportVersionTest,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3),
                                            ::testing::Values(Delivery::kPushed,
                                                              Delivery::kPolled)),
                         [](const auto &test) {
                           return "Family" + std::to_string(std::get<0>(test.param)) +
                                  (std::get<1>(test.param) == Delivery::kPushed ? "Pushed"
                                                                                : "Polled");
                         });

TEST(SimTransportTest, ASilentReaderGivesOneTimeout) {
  SimReader reader(Family(0));
  reader.SetSilent(true);
  auto port = MakeSimPort(reader, 0, Options(Delivery::kPushed, 50));

  CMyByteArray reply;
  EXPECT_FALSE(port->Command(0xF0, nullptr, 0, reply));
  EXPECT_EQ(port->LastError(), 4);
  EXPECT_EQ(reader.CommandCount(0xF0), 1u);
}

TEST(SimTransportTest, AReplyInLatePiecesIsReassembledInBothModes) {
  for (const Delivery delivery : {Delivery::kPushed, Delivery::kPolled}) {
    SimReader reader(Family(1));
    reader.SetReplyDelay(milliseconds(5));
    reader.SetSplit(2, milliseconds(1));
    auto port = MakeSimPort(reader, 1, Options(delivery));

    CMyByteArray reply;
    ASSERT_TRUE(port->Command(0xF8, nullptr, 0, reply)) << port->LastError();
    EXPECT_EQ(Hex(reply), "12 34 56 78");
  }
}

TEST(SimTransportTest, FramesWrittenOnADroppedLinkAreLost) {
  SimReader reader(Family(0));
  auto port = MakeSimPort(reader, 0, Options(Delivery::kPushed, 30));
  SimTransport *transport = kovra_test::SimTransportOf(*port);
  ASSERT_NE(transport, nullptr);
  transport->SetLinkDropped(true);

  CMyByteArray reply;
  EXPECT_FALSE(port->Command(0xF0, nullptr, 0, reply));
  EXPECT_EQ(port->LastError(), 4);
  EXPECT_EQ(transport->WriteCount(), 1u);
  EXPECT_TRUE(reader.ReceivedFrames().empty());
}

TEST(SimTransportTest, ARegisteredPortGoesAwayWithItsReader) {
  auto reader = std::make_unique<SimReader>(Family(0));
  SimPortOptions options = Options(Delivery::kPushed);
  options.add_to_app = true;
  auto port = MakeSimPort(*reader, 0, options);
  const int handle = port->Handle();
  ASSERT_NE(handle, 0);
  kovra::CKOVRA_SDKApp &app = kovra::CKOVRA_SDKApp::Instance();
  EXPECT_EQ(app.FindPort(handle), port);

  // A reader that is gone is an unplugged reader: the registry drops the port on its next walk.
  reader.reset();
  EXPECT_EQ(port->Handle(), 0);
  EXPECT_EQ(app.FindPort(handle), nullptr);
  EXPECT_FALSE(app.RemovePort(port));
}

TEST(SimTransportTest, ASecondPortOnTheSameReaderTakesTheLinkOver) {
  SimReader reader(Family(0));
  auto first = MakeSimPort(reader, 0, Options(Delivery::kPushed));
  auto second = MakeSimPort(reader, 0, Options(Delivery::kPushed));
  EXPECT_EQ(first->Handle(), 0);
  first.reset();  // closing the displaced port must not cut the reader off from the new one

  CMyByteArray reply;
  EXPECT_TRUE(second->Command(0xF0, nullptr, 0, reply)) << second->LastError();
}

}  // namespace
