// The texts of the library's error codes, in both languages.
#include "reader/error_texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kovra {
namespace {

constexpr int kGerman = 1;
constexpr int kEnglish = 0;

// Umlauts and the registered sign are spelled as UTF-8 bytes so the check does not depend on the
// source encoding: \xC3\xBC is "ü", \xC2\xAE is "®".
struct Row {
  int code;
  const char *english;
  const char *german;
};

TEST(ErrorText, SampleRowsInBothLanguages) {
  const Row rows[] = {
      {0, "Successful operation", "Operation erfolgreich"},
      {1, "Error opening the port",
       "Fehler beim \xC3\x96"
       "ffnen des Ports"},
      {3, "Port number invalid", "Portnummer ung\xC3\xBCltig"},
      {5, "given buffer too small",
       "\xC3\x9C"
       "bergebener Buffer zu klein"},
      {6, "buffer size invalid",
       "Buffergr\xC3\xB6\xC3\x9F"
       "e ung\xC3\xBCltig"},
      {10, "Checksum error",
       "Pr\xC3\xBC"
       "fsummenfehler"},
      {23, "Collision error", "Kollision ist aufgetreten,"},
      {24, "Communication aborted, Device does not accept this command",
       "Kommunikationsabbruch, Ger\xC3\xA4t akzeptiert diesen Befehl nicht"},
      {32, "ISO Error Command not supported", "ISO Fehler Kommando wird nicht unterst\xC3\xBCtzt"},
      {44, "ISO Error Framing", "ISO Fehler Framing"},
      {250, "MIFARE\xC2\xAE Error invalid Value",
       "MIFARE\xC2\xAE Fehler Value Wert ung\xC3\xBCltig"},
      {252, "MIFARE\xC2\xAE Error Authenticate Error,",
       "MIFARE\xC2\xAE Fehler Authenticate Error,"},
      {254, "MIFARE\xC2\xAE Error CRC Error", "MIFARE\xC2\xAE Fehler CRC Error"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(ErrorText(row.code, kEnglish), row.english);
    EXPECT_EQ(ErrorText(row.code, kGerman), row.german);
  }
}

TEST(ErrorText, EveryLanguageButOneIsEnglish) {
  for (const int language : {0, 2, -1}) {
    SCOPED_TRACE(language);
    EXPECT_EQ(ErrorText(3, language), "Port number invalid");
    EXPECT_EQ(ErrorText(17, language), "Unknown error #11");
  }
}

TEST(ErrorText, CodesWithoutTextShowTheirLowBytesInHex) {
  const struct {
    int code;
    const char *digits;
  } cases[] = {
      {17, "11"},            // a gap in the reader's table
      {253, "FD"},           // the gap between the MIFARE rows
      {255, "FF"},           // past the table
      {0x1234, "1234"},      // second byte not 0: both bytes
      {0x10001, "01"},       // no range given: higher bits are not shown
      {0x20005, "05"},       // likewise
      {0x7FFFABCD, "ABCD"},  // only the low 16 bits
      {-1, "FFFF"},          // negative: the low 16 bits of the two's complement
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(ErrorText(c.code, kEnglish), std::string("Unknown error #") + c.digits);
    EXPECT_EQ(ErrorText(c.code, kGerman), std::string("Unbekannter Fehler #") + c.digits);
  }
}

// Exactly the reader's rows have a text, in both languages; every other code up to 0xFFFF gets
// the fallback. Catches a lost, an extra or a half-filled row.
TEST(ErrorText, OnlyTheListedReaderCodesHaveTexts) {
  std::set<int> listed = {19, 20, 21, 22, 23, 24, 25, 250, 251, 252, 254};
  for (int code = 1; code <= 16; ++code) listed.insert(code);
  for (int code = 32; code <= 44; ++code) listed.insert(code);
  for (int code = 1; code <= 0xFFFF; ++code) {
    const bool has_row = listed.count(code) != 0;
    ASSERT_EQ(ErrorText(code, kEnglish).rfind("Unknown error #", 0) != 0, has_row) << code;
    ASSERT_EQ(ErrorText(code, kGerman).rfind("Unbekannter Fehler #", 0) != 0, has_row) << code;
  }
}

// Codes of a layer above the reader take the text of the range that holds them; the first range
// decides, and a code the range has no text for gets the fallback.
TEST(ErrorText, RangesOfLayersAboveAnswerTheirCodes) {
  const ErrorTextRange ranges[] = {
      {0x30000, 0x300FF,
       [](int code, int language) -> const char * {
         if (code != 0x30001) return code == 0x30002 ? nullptr : "";
         return language == kGerman ? "drei" : "three";
       }},
      {0x30000, 0x3FFFF, [](int, int) -> const char * { return "second range"; }},
  };
  EXPECT_EQ(ErrorText(0x30001, kEnglish, ranges), "three");
  EXPECT_EQ(ErrorText(0x30001, kGerman, ranges), "drei");
  EXPECT_EQ(ErrorText(0x30002, kEnglish, ranges), "Unknown error #02");  // null: no text
  EXPECT_EQ(ErrorText(0x30003, kGerman, ranges), "Unbekannter Fehler #03");
  EXPECT_EQ(ErrorText(0x30100, kEnglish, ranges), "second range");
  EXPECT_EQ(ErrorText(3, kEnglish, ranges), "Port number invalid");  // outside every range
  EXPECT_EQ(ErrorText(0x30001, kEnglish), "Unknown error #01");      // no ranges given
}

}  // namespace
}  // namespace kovra
