#include "writer/data_codec.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

namespace quillmate {
namespace {

DesfireSet Job(Representation representation, NumberFormat format, int length) {
  DesfireSet job;
  job.representation = representation;
  job.number_format = format;
  job.length = length;
  return job;
}

constexpr auto kAscii = Representation::kAscii;
constexpr auto kBinary = Representation::kBinary;
constexpr auto kNone = NumberFormat::kNone;
constexpr auto kDec = NumberFormat::kDecimal;
constexpr auto kHex = NumberFormat::kHexadecimal;

struct CodecCase {
  const char *name;
  Representation representation;
  NumberFormat format;
  int length;
  bool rotated;
  bool leading_zeros;
  const char *text;
  const char *bytes_hex;
};

class EncodeTest : public testing::TestWithParam<CodecCase> {};

TEST_P(EncodeTest, GivesTheFileBytes) {
  const CodecCase &c = GetParam();
  DesfireSet job = Job(c.representation, c.format, c.length);
  job.orientation = c.rotated ? Orientation::kRotated : Orientation::kNormal;
  job.leading_zeros = c.leading_zeros;
  QByteArray bytes;
  ASSERT_TRUE(EncodeData(job, QString::fromUtf8(c.text), bytes).ok);
  EXPECT_EQ(bytes.toHex(' ').toUpper(), QByteArray(c.bytes_hex));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeTest,
    testing::Values(
        CodecCase{"NoNumberFillsFromTheLeft", kBinary, kNone, 2, false, false, "1A2", "1A 20"},
        CodecCase{"HexStoresLowByteFirst", kBinary, kHex, 2, false, false, "1A2", "A2 01"},
        CodecCase{"HexKeepsTheFirstDigits", kBinary, kHex, 2, false, false, "10000", "00 10"},
        CodecCase{"DecimalLittleEndian", kBinary, kDec, 2, false, false, "1000", "E8 03"},
        CodecCase{"DecimalRotated", kBinary, kDec, 2, true, false, "1000", "03 E8"},
        CodecCase{"DecimalKeepsLowBytes", kBinary, kDec, 4, false, false, "4294967296",
                  "00 00 00 00"},
        CodecCase{"DecimalBeyond64Bits", kBinary, kDec, 2, false, false, "18446744073709552616",
                  "E8 03"},
        CodecCase{"AsciiPadsWithZeroBytes", kAscii, kDec, 4, false, false, "AB", "41 42 00 00"},
        CodecCase{"AsciiCutsToLength", kAscii, kDec, 2, false, false, "ABCD", "41 42"},
        CodecCase{"AsciiLeadingZeros", kAscii, kDec, 4, false, true, "7", "30 30 30 37"},
        CodecCase{"AsciiLatin1", kAscii, kNone, 2, false, false, "ä", "E4 00"},
        CodecCase{"AsciiRotated", kAscii, kNone, 3, true, false, "AB", "00 42 41"},
        CodecCase{"LengthZero", kAscii, kDec, 0, false, false, "123", ""}),
    [](const auto &param_info) { return std::string(param_info.param.name); });

TEST(EncodeData, RefusesDecimalBinaryOverEightBytes) {
  QByteArray bytes;
  const JobCheck check = EncodeData(Job(kBinary, kDec, 9), QStringLiteral("1"), bytes);
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.message,
            QStringLiteral("Bytanzahl größer 8 kann im Dezimal-Modus nicht bearbeitetet werden"));
  EXPECT_EQ(check.field, JobField::kLength);
}

TEST(EncodeData, LargeLengthsGiveExactlyThatManyBytes) {
  for (int length : {7600, 100000}) {
    QByteArray bytes;
    ASSERT_TRUE(EncodeData(Job(kBinary, kHex, length), QStringLiteral("FF"), bytes).ok);
    ASSERT_EQ(bytes.size(), length);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    ASSERT_TRUE(EncodeData(Job(kAscii, kDec, length), QStringLiteral("A"), bytes).ok);
    EXPECT_EQ(bytes.size(), length);
  }
}

struct DecodeCase {
  const char *name;
  Representation representation;
  NumberFormat format;
  int length;
  bool rotated;
  bool leading_zeros;
  const char *bytes_hex;
  const char *text;
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, GivesTheDataText) {
  const DecodeCase &c = GetParam();
  DesfireSet job = Job(c.representation, c.format, c.length);
  job.orientation = c.rotated ? Orientation::kRotated : Orientation::kNormal;
  job.leading_zeros = c.leading_zeros;
  EXPECT_EQ(DecodeData(job, QByteArray::fromHex(c.bytes_hex)), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeTest,
    testing::Values(
        DecodeCase{"DecimalAllOnesIsMinusOne", kBinary, kDec, 8, false, false, "FFFFFFFFFFFFFFFF",
                   "-1"},
        DecodeCase{"DecimalShortIsPositive", kBinary, kDec, 2, false, false, "FFFF", "65535"},
        DecodeCase{"DecimalRotated", kBinary, kDec, 2, true, false, "03E8", "1000"},
        DecodeCase{"DecimalLeadingZeros", kBinary, kDec, 2, false, true, "E803", "01000"},
        DecodeCase{"HexLastByteFirst", kBinary, kHex, 2, false, false, "A201", "1A2"},
        DecodeCase{"HexAllZeroIsZero", kBinary, kHex, 2, false, false, "0000", "0"},
        DecodeCase{"HexLeadingZeros", kBinary, kHex, 2, false, true, "A201", "01A2"},
        DecodeCase{"HexPadsShortRead", kBinary, kHex, 3, false, true, "A201", "0001A2"},
        DecodeCase{"NoNumberFirstByteFirst", kBinary, kNone, 3, false, false, "1A20", "1A2000"},
        DecodeCase{"NoNumberCutsToLength", kBinary, kNone, 1, false, false, "1A20", "1A"},
        DecodeCase{"AsciiEndsAtZeroByte", kAscii, kDec, 6, false, false, "414243000000", "ABC"},
        DecodeCase{"AsciiAtMostLength", kAscii, kDec, 2, false, false, "414243", "AB"},
        DecodeCase{"AsciiLatin1", kAscii, kNone, 2, false, false, "E400", "ä"}),
    [](const auto &param_info) { return std::string(param_info.param.name); });

struct NormaliseCase {
  const char *name;
  Representation representation;
  NumberFormat format;
  int length;
  bool prefix_allowed;
  bool leading_zeros;
  int steps;
  const char *before;
  const char *after;
};

class NormaliseTest : public testing::TestWithParam<NormaliseCase> {};

TEST_P(NormaliseTest, TidiesAndCounts) {
  const NormaliseCase &c = GetParam();
  DesfireSet job = Job(c.representation, c.format, c.length);
  job.prefix_allowed = c.prefix_allowed;
  job.leading_zeros = c.leading_zeros;
  job.data = QString::fromUtf8(c.before);
  NormaliseValue(job, c.steps);
  EXPECT_EQ(job.data, QString::fromUtf8(c.after));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormaliseTest,
    testing::Values(
        NormaliseCase{"PrefixKeptWithZeros", kAscii, kDec, 8, true, true, 0, "ABC-0099",
                      "ABC-0099"},
        NormaliseCase{"PrefixCountsUpWithZeros", kAscii, kDec, 8, true, true, 1, "ABC-0099",
                      "ABC-0100"},
        NormaliseCase{"PrefixWithoutZeros", kAscii, kDec, 8, true, false, 0, "ABC-0099", "ABC-99"},
        NormaliseCase{"PrefixCountsUpWithoutZeros", kAscii, kDec, 8, true, false, 1, "ABC-99",
                      "ABC-100"},
        NormaliseCase{"LongestDecimalRunWins", kAscii, kDec, 8, false, false, 0, "ID12X345", "345"},
        NormaliseCase{"FirstOfEqualHexRuns", kAscii, kHex, 8, false, false, 0, "ID12X345", "D12"},
        NormaliseCase{"FirstOfEqualRuns", kAscii, kDec, 8, true, false, 0, "a12b34c", "a12b34c"},
        NormaliseCase{"FirstOfEqualRunsCounts", kAscii, kDec, 8, true, false, 1, "a12b34c",
                      "a13b34c"},
        NormaliseCase{"SuffixKept", kAscii, kDec, 8, true, false, 1, "X9-END", "X10-END"},
        NormaliseCase{"DecimalCarryOut", kBinary, kDec, 4, false, false, 1, "99", "100"},
        NormaliseCase{"DecimalPastFourBytes", kBinary, kDec, 4, false, false, 1, "4294967295",
                      "4294967296"},
        NormaliseCase{"HexCarryOut", kBinary, kHex, 2, false, false, 1, "ffff", "10000"},
        NormaliseCase{"HexNineToA", kBinary, kHex, 2, false, false, 1, "19", "1A"},
        NormaliseCase{"HexLowerCaseCountsUpper", kBinary, kHex, 2, false, false, 1, "1a", "1B"},
        NormaliseCase{"HexLeadingZeros", kBinary, kHex, 2, false, true, 0, "A", "000A"},
        NormaliseCase{"DecimalLeadingZerosToTable", kBinary, kDec, 3, false, true, 0, "7",
                      "00000007"},
        NormaliseCase{"EmptyBecomesZero", kBinary, kDec, 4, false, false, 0, "", "0"},
        NormaliseCase{"ZerosStripped", kBinary, kDec, 4, false, false, 0, "000120", "120"},
        NormaliseCase{"NoDigitsIsAllNumber", kAscii, kDec, 8, true, false, 1, "AB", "100"},
        NormaliseCase{"NoNumberUntouched", kBinary, kNone, 4, false, true, 1, "00ff", "00ff"}),
    [](const auto &param_info) { return std::string(param_info.param.name); });

TEST(MaxDataChars, FollowsRepresentationAndFormat) {
  EXPECT_EQ(MaxDataChars(Job(kAscii, kDec, 32)), 32);
  EXPECT_EQ(MaxDataChars(Job(kBinary, kNone, 32)), 64);
  EXPECT_EQ(MaxDataChars(Job(kBinary, kHex, 5)), 10);
  const int digits[] = {0, 3, 5, 8, 10, 13, 15, 17, 20, 20, 20};
  for (int length = 0; length <= 10; ++length) {
    EXPECT_EQ(MaxDataChars(Job(kBinary, kDec, length)), digits[length]) << length;
  }
  EXPECT_EQ(MaxDataChars(Job(kBinary, kHex, 100000)), 200000);
}

TEST(ChangeRepresentation, ShowsTheSameBytesTheOtherWay) {
  DesfireSet job = Job(kAscii, kNone, 4);
  job.data = QStringLiteral("AB");
  ChangeRepresentation(job, kBinary);
  EXPECT_EQ(job.representation, kBinary);
  EXPECT_EQ(job.data, QStringLiteral("41420000"));
  ChangeRepresentation(job, kAscii);
  EXPECT_EQ(job.data, QStringLiteral("AB"));
}

TEST(ChangeRepresentation, DecimalNumberBecomesItsCharacters) {
  DesfireSet job = Job(kBinary, kDec, 2);
  job.data = QStringLiteral("16961");  // 0x4241: bytes 41 42
  ChangeRepresentation(job, kAscii);
  EXPECT_EQ(job.data, QStringLiteral("AB"));
}

TEST(ChangeRepresentation, KeepsTheTextWhenTheOldSettingsCannotEncode) {
  DesfireSet job = Job(kBinary, kDec, 32);
  job.data = QStringLiteral("123");
  ChangeRepresentation(job, kAscii);
  EXPECT_EQ(job.representation, kAscii);
  EXPECT_EQ(job.data, QStringLiteral("123"));
}

}  // namespace
}  // namespace quillmate
