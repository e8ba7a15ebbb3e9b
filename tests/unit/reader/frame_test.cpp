// The reader frames of the four families: building, finding the end of a reply, check and parse.
#include "reader/frame.h"

#include <gtest/gtest.h>

#include "hex.h"

namespace kovra::frame {
namespace {

using kovra_test::Hex;
using kovra_test::ToHex;

CMyByteArray Bytes(const std::string &hex) {
  return CMyByteArray(Hex(hex));
}

// CRC-16/MODBUS known answers: the check value of the reveng CRC catalogue (CRC-16/MODBUS).
TEST(FrameChecksum, Crc16ModbusKnownAnswers) {
  const struct {
    const char *data;
    uint16_t crc;
  } cases[] = {{"", 0xFFFF},
               {"01 F0 00", 0x0064},
               {"31 32 33 34 35 36 37 38 39", 0x4B37},
               {"01 03 00 00 00 01", 0x0A84},
               {"00", 0x40BF},
               {"FF", 0x00FF}};
  for (const auto &c : cases) {
    const auto bytes = Hex(c.data);
    EXPECT_EQ(Crc16Modbus(bytes.data(), bytes.size()), c.crc) << c.data;
  }
}

struct BuildCase {
  int family;
  uint8_t address;
  const char *command;  // generic code followed by data
  const char *frame;
  uint8_t echo;
};

TEST(FrameBuild, EachFamilyAndTranslation) {
  const BuildCase cases[] = {
      {0, 1, "F0", "02 01 F0 00 F1", 0xF0},
      {1, 1, "F0", "01 F0 00 64 00", 0xF0},
      {2, 1, "F0", "1E 0B 00", 0x0B},
      {3, 1, "F0", "1E 60 00", 0x60},
      {0, 3, "45 0A 5A", "02 03 45 02 0A 5A 14", 0x45},  // the bus address goes into the frame
      {1, 3, "F5 01", "03 F5 01 01 D0 02", 0xF5},
      {2, 1, "F5 00", "1E 0D 00", 0x0D},  // the field parameter becomes the code
      {2, 1, "F5 01", "1E 0C 00", 0x0C},
      {3, 1, "F5 07", "1E 0C 00", 0x0C},
      {2, 1, "F5", "1E 0D 00", 0x0D},  // no parameter: off
      {3, 1, "20 05 21", "1E 21 03 08 05 21", 0x21},
      {3, 1, "20 05 30", "1E 21 03 04 05 30", 0x21},
      {2, 1, "20 05 29", "1E 28 03 01 05 29", 0x28},
      {2, 1, "20 05 30", "1E 28 03 00 05 30", 0x28},
      {2, 1, "20 05", "1E 28 02 00 05", 0x28},  // too short to open a block operation
      {2, 1, "21 01", "1E 29 01 01", 0x29},
      {2, 1, "F6 00 00", "1E 07 02 00 00", 0x07},
      {3, 1, "F7", "1E 07 00", 0x07},
      {2, 1, "F9", "1E 0E 00", 0x0E},
      {3, 1, "FA", "1E FA 00", 0xFA},
      {2, 1, "FF 02", "1E 0F 01 02", 0x0F},
      {3, 1, "FF 02", "1E FF 01 02", 0xFF},
      {0, 1, "45 0A", "02 01 45 01 0A 4F", 0x45},  // codes without a translation stay as they are
      {3, 1, "45 0A", "1E 45 01 0A", 0x45},
  };
  for (const auto &c : cases) {
    CMyByteArray command = Bytes(c.command);
    const BuiltFrame built = BuildFrame(c.family, c.address, command);
    EXPECT_EQ(built.error, 0) << c.command;
    EXPECT_EQ(ToHex(command.Bytes()), c.frame) << "family " << c.family << ": " << c.command;
    EXPECT_EQ(built.echo, c.echo) << c.command;
  }
}

TEST(FrameBuild, RefusesEmptyAndOversizedCommands) {
  CMyByteArray empty;
  EXPECT_EQ(BuildFrame(0, 1, empty).error, 8);

  CMyByteArray largest(std::vector<uint8_t>(256, 0x11));  // code + 255 data bytes still fits
  EXPECT_EQ(BuildFrame(1, 1, largest).error, 0);
  EXPECT_EQ(largest[2], 255);

  CMyByteArray oversized(std::vector<uint8_t>(257, 0x11));
  EXPECT_EQ(BuildFrame(0, 1, oversized).error, 7);
  EXPECT_EQ(oversized.GetSize(), 257u);  // left as it was
}

TEST(FrameReply, LeadingGarbageIsSkippedExceptInFamily1) {
  const auto bytes = Hex("FF 00 1E 02 01");
  EXPECT_EQ(LeadingGarbage(0, bytes.data(), bytes.size()), 3u);
  EXPECT_EQ(LeadingGarbage(1, bytes.data(), bytes.size()), 0u);
  EXPECT_EQ(LeadingGarbage(2, bytes.data(), bytes.size()), 2u);
  EXPECT_EQ(LeadingGarbage(3, bytes.data(), 2), 2u);  // no start byte yet: drop all
}

struct CompleteCase {
  int family;
  const char *bytes;
  long complete;  // frame length, or -1 while more bytes are needed
};

TEST(FrameReply, CompleteLength) {
  const CompleteCase cases[] = {
      {0, "02 01 00 02 AA BB", -1},
      {0, "02 01 00 02 AA BB 12", 7},
      {0, "02 01 00 02 AA BB 12 99", 7},  // bytes behind the frame do not matter here
      {1, "01 00 01 AA", -1},
      {1, "01 00 01 AA 11 22", 6},
      {2, "1E 0B 04 31 32 33", -1},
      {2, "1E 0B 04 31 32 33 34", 7},
      {3, "1E 60 00", 3},
      // block chains: 02 aa bb, 01 cc, closing FF, then the trailer
      {0, "02 01 00 FF 02 AA BB 01 CC", -1},
      {0, "02 01 00 FF 02 AA BB 01 CC FF", -1},
      {0, "02 01 00 FF 02 AA BB 01 CC FF 00", 11},
      {1, "01 00 FF 02 AA BB 01 CC FF 00", -1},
      {1, "01 00 FF 02 AA BB 01 CC FF 00 00", 11},
      {2, "1E 0B FF 02 AA BB 01 CC FF", 9},
      {2, "1E 0B FF 00 00 00 FF", 7},  // empty blocks
      {3, "1E 0B FF 05 AA FF", -1},    // the FF inside a block is data, not the end
      {3, "1E 0B FF 05 AA FF FF FF", -1},
      {3, "1E 0B FF 05 AA FF FF FF FF FF", 10},
  };
  for (const auto &c : cases) {
    const auto bytes = Hex(c.bytes);
    const auto length = CompleteLength(c.family, bytes.data(), bytes.size());
    EXPECT_EQ(length ? static_cast<long>(*length) : -1, c.complete)
        << "family " << c.family << ": " << c.bytes;
  }
}

TEST(FrameReply, LengthByte250IsCompleteAfter255Bytes) {
  std::vector<uint8_t> reply = {0x02, 0x01, 0x00, 250};
  reply.resize(254, 0x55);
  EXPECT_FALSE(CompleteLength(0, reply.data(), reply.size()));
  reply.push_back(0x00);
  EXPECT_EQ(CompleteLength(0, reply.data(), reply.size()), 255u);
}

// A reply frame with a correct check for families 0 and 1.
std::vector<uint8_t> Checked(int family, const std::string &hex) {
  auto bytes = Hex(hex);
  if (family == 0) {
    bytes.push_back(Bcc(bytes.data() + 1, bytes.size() - 1));
  } else if (family == 1) {
    const uint16_t crc = Crc16Modbus(bytes.data(), bytes.size());
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
  }
  return bytes;
}

struct ParseCase {
  int family;
  uint8_t echo;
  std::vector<uint8_t> reply;
  bool ok;
  int error;
  const char *data;
};

TEST(FrameReply, CheckAndParse) {
  const ParseCase cases[] = {
      {0, 0xF0, Checked(0, "02 01 00 04 31 32 33 34"), true, 0, "31 32 33 34"},
      {0, 0x45, Checked(0, "02 01 20 02 AA BB"), true, 32, "AA BB"},  // more data follows
      {0, 0x45, Checked(0, "02 01 00 FF 02 AA BB 01 CC FF"), true, 0, "02 AA BB 01 CC"},
      {0, 0x30, Checked(0, "02 01 15 00"), false, 21, ""},
      {0, 0x30, Checked(0, "02 01 03 00"), false, 23, ""},  // collision codes are merged
      {0, 0x30, Checked(0, "02 01 19 00"), false, 23, ""},
      {0, 0x30, Checked(0, "02 01 07 00"), false, 44, ""},
      {0, 0x30, Checked(0, "02 01 FF 00"), false, 255, ""},
      {0, 0xF0, Hex("02 01 00 01 31 00"), false, 10, ""},  // wrong BCC
      {1, 0xF0, Checked(1, "01 00 02 31 32"), true, 0, "31 32"},
      {1, 0xF0, Checked(1, "01 00 FF 01 CC FF"), true, 0, "01 CC"},
      {1, 0x31, Checked(1, "01 15 00"), false, 21, ""},
      {1, 0x31, Checked(1, "01 20 00"), false, 32, ""},  // only family 0 knows "more data"
      {1, 0xF0, Hex("01 00 00 00 00"), false, 10, ""},
      {2, 0x0B, Hex("1E 0B 04 31 37 31 35"), true, 0, "31 37 31 35"},
      {3, 0x60, Hex("1E 60 FF 01 CC FF"), true, 0, "01 CC"},
      {2, 0x0C, Hex("1E A0 00"), false, 24, ""},
      {2, 0x0C, Hex("1E A4 00"), false, 20, ""},
      {3, 0x0C, Hex("1E 88 00"), false, 17, ""},
      {3, 0x0C, Hex("1E CC 00"), false, 23, ""},
      {2, 0x0C, Hex("1E C4 00"), false, 21, ""},
      {2, 0x0C, Hex("1E C5 00"), false, 21, ""},
      {2, 0x0C, Hex("1E 0D 00"), false, 16, ""},  // neither the echo nor a known error
      {3, 0x60, Hex("1E 00 00"), false, 16, ""},
      {0, 0xF0, {}, false, 12, ""},
      {0, 0xF0, Hex("02 01 00"), false, 9, ""},        // shorter than header and trailer
      {0, 0xF0, Hex("02 01 00 FF 00"), false, 9, ""},  // no room for the closing FF
      {1, 0xF0, Hex("01 00"), false, 9, ""},
      {2, 0x0B, Hex("1E 0B"), false, 9, ""},
  };
  for (const auto &c : cases) {
    CMyByteArray data = Bytes("EE");  // whatever was there is replaced
    const ParseResult result = ParseReply(c.family, c.echo, c.reply.data(), c.reply.size(), data);
    const std::string label = "family " + std::to_string(c.family) + ": " + ToHex(c.reply);
    EXPECT_EQ(result.ok, c.ok) << label;
    EXPECT_EQ(result.error, c.error) << label;
    EXPECT_EQ(ToHex(data.Bytes()), c.ok ? c.data : "") << label;
  }
}

TEST(FrameReply, GarbageBeforeAFamily1FrameFailsTheCheck) {
  auto reply = Checked(1, "01 00 02 31 32");
  reply.insert(reply.begin(), 0x77);
  CMyByteArray data;
  EXPECT_EQ(ParseReply(1, 0xF0, reply.data(), reply.size(), data).error, 10);
}

}  // namespace
}  // namespace kovra::frame
