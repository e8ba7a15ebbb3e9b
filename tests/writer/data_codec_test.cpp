// The data codec: the job's value text encoded into the file's bytes and decoded back, in every
// number format and representation.
#include "writer/job/data_codec.h"

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

// A counting series writes the same number whichever way it is shown: the digits of an ASCII
// number read as binary bytes would be another number (5000 in 16 ASCII bytes came back as
// 3472328296227680), and the next card would get it.
TEST(ChangeRepresentation, ANumberKeepsItsValueBothWays) {
  const struct {
    NumberFormat format;
    int length;
    bool leading_zeros;
    const char *ascii;
    const char *binary;
  } cases[] = {
      {kDec, 16, true, "0000000000005000", "00000000000000005000"},
      {kDec, 2, false, "16961", "16961"},
      {kHex, 4, false, "1A2B", "1A2B"},
      {kHex, 4, true, "1A2B", "00001A2B"},
  };
  for (const auto &c : cases) {
    DesfireSet job = Job(kAscii, c.format, c.length);
    job.leading_zeros = c.leading_zeros;
    job.data = QString::fromLatin1(c.ascii);
    ChangeRepresentation(job, kBinary);
    EXPECT_EQ(job.data, QString::fromLatin1(c.binary)) << c.ascii;
    ChangeRepresentation(job, kAscii);
    EXPECT_EQ(job.data, QString::fromLatin1(c.ascii)) << c.ascii;
  }
}

TEST(ChangeNumberFormat, TheNumberKeepsItsValueInTheOtherDigits) {
  const struct {
    const char *decimal;
    const char *hexadecimal;
  } cases[] = {
      {"5000", "1388"},
      {"0", "0"},
      {"255", "FF"},
      // Beyond 64 bits: a 32-character ASCII series has no machine integer.
      {"340282366920938463463374607431768211455", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
  };
  for (const auto &c : cases) {
    DesfireSet job = Job(kAscii, kDec, 40);
    job.data = QString::fromLatin1(c.decimal);
    ChangeNumberFormat(job, kHex);
    EXPECT_EQ(job.data, QString::fromLatin1(c.hexadecimal)) << c.decimal;
    ChangeNumberFormat(job, kDec);
    EXPECT_EQ(job.data, QString::fromLatin1(c.decimal)) << c.decimal;
  }
  // Prefix and suffix stay around the number; to and from "no number" the text stays.
  DesfireSet job = Job(kAscii, kDec, 16);
  job.prefix_allowed = true;
  job.data = QStringLiteral("ABC-0099x");
  ChangeNumberFormat(job, kHex);
  EXPECT_EQ(job.data, QStringLiteral("ABC-63x"));
  ChangeNumberFormat(job, kNone);
  EXPECT_EQ(job.data, QStringLiteral("ABC-63x"));
}

TEST(ValueAlreadyGivenOut, ComparesTheNumbersOfACountingSeries) {
  const struct {
    Representation representation;
    NumberFormat format;
    bool auto_increment;
    const char *value;
    const char *next;
    bool given_out;
  } cases[] = {
      {kAscii, kDec, true, "1000", "1007", true},
      {kAscii, kDec, true, "1007", "1007", false},
      {kAscii, kDec, true, "2000", "1007", false},
      {kAscii, kDec, true, "999", "1007", true},      // fewer digits
      {kAscii, kDec, true, "0001000", "1007", true},  // leading zeros say nothing
      {kAscii, kDec, true, "ABC-0099", "ABC-0100", true},
      {kAscii, kHex, true, "FF", "100", true},
      {kAscii, kHex, true, "ff", "FE", false},  // lower-case digits count the same
      {kBinary, kDec, true, "41", "42", true},
      {kAscii, kDec, false, "1000", "1007", false},  // the same value on every card
      {kAscii, kNone, true, "1000", "1007", false},  // no number
      {kAscii, kDec, true, "1000", "", false},       // a series not yet begun
  };
  for (const auto &c : cases) {
    DesfireSet job = Job(c.representation, c.format, 16);
    job.auto_increment = c.auto_increment;
    EXPECT_EQ(ValueAlreadyGivenOut(job, QString::fromLatin1(c.value), QString::fromLatin1(c.next)),
              c.given_out)
        << c.value << " against " << c.next;
  }
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
