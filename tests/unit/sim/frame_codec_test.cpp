// The simulator's own frame code: checks, framing, and the decoder's resynchronisation.
#include "sim/frame_codec.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "unit/reader/hex.h"

namespace {

using kovra_sim::Bytes;
using kovra_sim::CommandDecoder;
using kovra_sim::SimClock;
using kovra_test::Hex;
using kovra_test::ToHex;

TEST(SimFrameCodecTest, ChecksAndCommandFramesMatchKnownValues) {
  const std::string check = "123456789";
  EXPECT_EQ(kovra_sim::ModbusCrc(reinterpret_cast<const uint8_t *>(check.data()), check.size()),
            0x4B37);  // the CRC-16/MODBUS check value

  // The version command 0xF0 at bus address 1, as a host sends it in each family.
  EXPECT_EQ(ToHex(kovra_sim::EncodeCommand(0, 1, 0xF0, {})), "02 01 F0 00 F1");
  EXPECT_EQ(ToHex(kovra_sim::EncodeCommand(1, 1, 0xF0, {})), "01 F0 00 64 00");
  EXPECT_EQ(ToHex(kovra_sim::EncodeCommand(2, 1, 0x0B, {})), "1E 0B 00");
  EXPECT_EQ(ToHex(kovra_sim::EncodeCommand(3, 1, 0x60, {})), "1E 60 00");
}

TEST(SimFrameCodecTest, RepliesCarryLengthOrBlockChainAndCheckBytes) {
  EXPECT_EQ(ToHex(kovra_sim::EncodeReply(0, 1, 0x00, Hex("31 32 33 34"))),
            "02 01 00 04 31 32 33 34 01");
  EXPECT_EQ(ToHex(kovra_sim::EncodeReply(1, 1, 0x00, Hex("31 32 33 34"))),
            "01 00 04 31 32 33 34 40 14");
  EXPECT_EQ(ToHex(kovra_sim::EncodeReply(3, 1, 0x60, Hex("AA"))), "1E 60 01 AA");

  // The check byte covers the closing 0xFF of a chain.
  const Bytes chain = kovra_sim::ChainBodyOf({Hex("AA BB"), Hex("CC")});
  EXPECT_EQ(ToHex(kovra_sim::EncodeReply(0, 1, 0x00, chain, true)),
            "02 01 00 FF 02 AA BB 01 CC FF DF");

  // 300 bytes cannot be announced in one length byte: blocks of 254 and 46.
  const Bytes reply = kovra_sim::EncodeReply(2, 1, 0x45, Bytes(300, 0x5A));
  ASSERT_EQ(reply.size(), 3u + 1 + 254 + 1 + 46 + 1);
  EXPECT_EQ(reply[2], 0xFF);
  EXPECT_EQ(reply[3], 254);
  EXPECT_EQ(reply[3 + 1 + 254], 46);
  EXPECT_EQ(reply.back(), 0xFF);
}

struct DecodeCase {
  const char *name;
  int family;
  std::vector<const char *> pieces;  // fed one after the other, without pauses
  std::vector<const char *> frames;  // the frames found
  size_t discarded;
};

void PrintTo(const DecodeCase &c, std::ostream *os) {
  *os << c.name;
}

class SimFrameDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(SimFrameDecodeTest, FindsFramesAndDropsTheRest) {
  const DecodeCase &c = GetParam();
  CommandDecoder decoder(c.family, 1, std::chrono::milliseconds(50));
  const SimClock::time_point now = SimClock::now();
  std::vector<std::string> found;
  for (const char *piece : c.pieces) {
    const Bytes bytes = Hex(piece);
    for (const auto &frame : decoder.Feed(bytes.data(), bytes.size(), now)) {
      found.push_back(ToHex(frame.raw));
    }
  }
  EXPECT_EQ(found, std::vector<std::string>(c.frames.begin(), c.frames.end()));
  EXPECT_EQ(decoder.DiscardedBytes(), c.discarded);
}

INSTANTIATE_TEST_SUITE_P(
    SimFamilies, SimFrameDecodeTest,
    ::testing::Values(
        DecodeCase{"F0NoiseBeforeStart", 0, {"55 AA 02 01 F0 00 F1"}, {"02 01 F0 00 F1"}, 2},
        DecodeCase{"F0BadBccResyncs", 0, {"02 01 F0 00 00 02 01 F0 00 F1"}, {"02 01 F0 00 F1"}, 5},
        DecodeCase{"F0InPieces", 0, {"02 01", "F0 00", "F1"}, {"02 01 F0 00 F1"}, 0},
        DecodeCase{"F0TwoFramesAtOnce",
                   0,
                   {"02 01 F0 00 F1 02 01 F8 00 F9"},
                   {"02 01 F0 00 F1", "02 01 F8 00 F9"},
                   0},
        // The noise byte makes a candidate that waits for 245 bytes; family 1 slides past it.
        DecodeCase{"F1SlidesPastNoise", 1, {"55 01 F0 00 64 00"}, {"01 F0 00 64 00"}, 1},
        DecodeCase{"F1OtherAddressIsNoise", 1, {"02 F0 00 94 00"}, {}, 5},
        DecodeCase{"F1BadCrcIsNoise", 1, {"01 F0 00 64 01 01 F0 00 64 00"}, {"01 F0 00 64 00"}, 5},
        DecodeCase{"F2NoiseBeforeStart", 2, {"00 FF 1E 0B 00"}, {"1E 0B 00"}, 2},
        DecodeCase{"F3WithData", 3, {"1E 21 03 08 05 21"}, {"1E 21 03 08 05 21"}, 0}),
    [](const auto &test) { return std::string(test.param.name); });

TEST(SimFrameCodecTest, AStalledFrameIsDroppedAfterAPause) {
  // Families 2 and 3 cannot check a frame: a false start byte with a large length would swallow
  // the next real frame, were it not for the pause that ends it.
  for (const auto pause : {std::chrono::milliseconds(0), std::chrono::milliseconds(100)}) {
    CommandDecoder decoder(2, 1, std::chrono::milliseconds(50));
    const SimClock::time_point start = SimClock::now();
    const Bytes stalled = Hex("1E 45 FF 00");
    const Bytes real = Hex("1E 0B 00");
    EXPECT_TRUE(decoder.Feed(stalled.data(), stalled.size(), start).empty());
    const auto frames = decoder.Feed(real.data(), real.size(), start + pause);
    EXPECT_EQ(frames.size(), pause.count() > 0 ? 1u : 0u) << pause.count();
  }
}

}  // namespace
