// The texts of the DESFire card statuses and of the DESFire layer's own codes, in both languages.
#include "desfire/status_texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kovra::desfire {
namespace {

constexpr int kGerman = 1;
constexpr int kEnglish = 0;

// Umlauts are spelled as UTF-8 bytes so the check does not depend on the source encoding.
struct Row {
  int code;
  const char *english;
  const char *german;
};

TEST(DesfireStatusTexts, SampleRowsInBothLanguages) {
  const Row rows[] = {
      {0x1000C, "No changes done", "Keine \xC3\x84nderungen durchgef\xC3\xBChrt"},
      {0x10020, "Key length is not 16 bytes", "Key-L\xC3\xA4nge betr\xC3\xA4gt nicht 16 Byte"},
      {0x10025, "CRC after decryption does not match data",
       "CRC nach Entschl\xC3\xBCsselung passt nicht zu den Daten"},
      {0x100AE, "Current authentication state does not allow the requested command",
       "Der aktuelle Authentifizierungs-Status erlaubt die gew\xC3\xBCnschte Operation nicht"},
      {0x100AF, "Internal error, additonal data frame is expected to be sent",
       "Interner Fehler, es wird das Versenden eines weiteren Datenrahmens erwartet"},
      {0x100BE, "Attempt to read/write data from/to beyond the file's limits",
       "Es wurde versucht, Daten jenseits der File-Grenzen zu lesen oder schreiben"},
      {0x100F1, "Unrecoverable error in file", "Unbehebbarer Fehler in File"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_STREQ(GetDesfireErrorText(row.code, kEnglish), row.english);
    EXPECT_STREQ(GetDesfireErrorText(row.code, kGerman), row.german);
  }
}

TEST(DesfireStatusTexts, EveryLanguageButOneIsEnglish) {
  for (const int language : {0, 2, -1, 0x101}) {
    SCOPED_TRACE(language);
    EXPECT_STREQ(GetDesfireErrorText(0x100AE, language),
                 "Current authentication state does not allow the requested command");
  }
}

// Exactly the card statuses and layer codes of the table have a text, in both languages; every
// other code (an unknown status byte, the unused layer code 0x10022, a status without the
// 0x10000 offset) is empty so the caller falls back to the generic text.
TEST(DesfireStatusTexts, OnlyTheListedCodesHaveTexts) {
  const std::set<int> listed = {0x1000C, 0x1000E, 0x1001C, 0x1001E, 0x10020, 0x10021, 0x10023,
                                0x10024, 0x10025, 0x10040, 0x1007E, 0x1009D, 0x1009E, 0x100A0,
                                0x100A1, 0x100AE, 0x100AF, 0x100BE, 0x100C1, 0x100CA, 0x100CD,
                                0x100CE, 0x100DE, 0x100EE, 0x100F0, 0x100F1};
  for (int code = 0x10000; code <= 0x1FFFF; ++code) {
    const bool has_row = listed.count(code) != 0;
    for (const int language : {kEnglish, kGerman}) {
      const std::string text = GetDesfireErrorText(code, language);
      ASSERT_EQ(!text.empty(), has_row)
          << std::hex << "code 0x" << code << " language " << language;
    }
  }
  for (const int code : {0x0C, 0xAE, 0x2000C, -1}) {
    EXPECT_STREQ(GetDesfireErrorText(code, kEnglish), "") << std::hex << code;
  }
}

}  // namespace
}  // namespace kovra::desfire
