// The messages between vsmartcard's virtual reader driver and the simulated card: lengths in
// front, controls of one byte, APDUs, in any pieces; and what ends the stream.
#include "sim/vpcd_framing.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "unit/reader/hex.h"

namespace {

using kovra_sim::VpcdControl;
using kovra_sim::VpcdFramer;
using kovra_test::Hex;
using kovra_test::ToHex;

// "atr", "on", "off", "reset" for controls, the hex of the APDU otherwise.
std::string Describe(const kovra_sim::VpcdMessage &message) {
  if (!message.control) return ToHex(message.apdu);
  switch (*message.control) {
    case VpcdControl::kPowerOff:
      return "off";
    case VpcdControl::kPowerOn:
      return "on";
    case VpcdControl::kReset:
      return "reset";
    case VpcdControl::kGetAtr:
      return "atr";
  }
  return "?";
}

struct FramingCase {
  const char *name;
  const char *stream;
  std::vector<std::string> messages;  // what comes out, in order
  bool broken;                        // the stream ends for good
  size_t left;                        // bytes of an unfinished message
};

const FramingCase kCases[] = {
    {"controls", "00 01 01 00 01 04 00 01 02 00 01 00", {"on", "atr", "reset", "off"}, false, 0},
    {"an APDU", "00 05 90 60 00 00 00", {"90 60 00 00 00"}, false, 0},
    {"the longest short APDU", nullptr, {}, false, 0},  // filled in below
    {"a stream that ends inside a message", "00 05 90 60", {}, false, 4},
    {"an empty message", "00 00 00 01 04", {}, true, 0},
    {"a message longer than a short APDU", "01 06", {}, true, 0},
    {"an unknown control", "00 01 03", {}, true, 0},
    {"sound messages before a broken one", "00 01 04 00 02 FF CA 00 00", {"atr", "FF CA"}, true, 0},
};

class VpcdFraming : public ::testing::TestWithParam<FramingCase> {};

TEST_P(VpcdFraming, CutsTheStreamAlikeWholeAndByteByByte) {
  const FramingCase &c = GetParam();
  std::vector<uint8_t> stream;
  std::vector<std::string> expected = c.messages;
  if (c.stream) {
    stream = Hex(c.stream);
  } else {
    stream = {0x01, 0x05};  // 261 bytes: 90 3D 00 00 FF, 255 data bytes, 00
    std::vector<uint8_t> apdu = {0x90, 0x3D, 0x00, 0x00, 0xFF};
    apdu.resize(260, 0x5A);
    apdu.push_back(0x00);
    stream.insert(stream.end(), apdu.begin(), apdu.end());
    expected = {ToHex(apdu)};
  }
  for (const bool bytewise : {false, true}) {
    VpcdFramer framer;
    std::vector<std::string> got;
    bool sound = true;
    if (bytewise) {
      for (const uint8_t byte : stream) {
        sound = framer.Feed(&byte, 1) && sound;
        while (const auto message = framer.Next()) got.push_back(Describe(*message));
      }
    } else {
      sound = framer.Feed(stream.data(), stream.size());
      while (const auto message = framer.Next()) got.push_back(Describe(*message));
    }
    EXPECT_EQ(got, expected) << (bytewise ? "byte by byte" : "whole");
    EXPECT_EQ(!sound, c.broken) << framer.Error();
    EXPECT_EQ(framer.Error().empty(), !c.broken);
    EXPECT_EQ(framer.Buffered(), c.left);
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, VpcdFraming, ::testing::ValuesIn(kCases),
                         [](const auto &test_param) {
                           std::string name;
                           for (const char ch : std::string(test_param.param.name)) {
                             if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
                           }
                           return name;
                         });

TEST(VpcdFramingBroken, RefusesAnOverlongMessageByItsLengthAloneAndIgnoresTheRest) {
  VpcdFramer framer;
  EXPECT_FALSE(framer.Feed(Hex("01 06").data(), 2));
  EXPECT_NE(framer.Error().find("262"), std::string::npos) << framer.Error();
  const std::vector<uint8_t> more = Hex("00 01 04");
  EXPECT_FALSE(framer.Feed(more.data(), more.size()));
  EXPECT_FALSE(framer.Next());
}

TEST(VpcdEncoding, PutsTheBigEndianLengthInFront) {
  EXPECT_EQ(ToHex(kovra_sim::EncodeVpcdMessage(Hex("3B 81 80 01 80 80"))),
            "00 06 3B 81 80 01 80 80");
  EXPECT_EQ(ToHex(kovra_sim::EncodeVpcdMessage(std::vector<uint8_t>(0x102, 0x90))).substr(0, 5),
            "01 02");
}

}  // namespace
