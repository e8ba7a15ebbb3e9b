// The texts of every layer through one call: the reader's table, the DESFire range, and
// KOVRA_GetErrorText on top of them.
#include "api/library_error_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "kovra.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

namespace kovra {
namespace {

constexpr int kGerman = 1;
constexpr int kEnglish = 0;

TEST(LibraryErrorText, ReaderAndDesfireCodesInBothLanguages) {
  const struct {
    int code;
    const char *english;
    const char *german;
  } rows[] = {
      {3, "Port number invalid", "Portnummer ung\xC3\xBCltig"},
      {KOVRA_DESFIRE_AUTHENTICATION_ERROR,
       "Current authentication state does not allow the requested command",
       "Der aktuelle Authentifizierungs-Status erlaubt die gew\xC3\xBCnschte Operation nicht"},
      // DESFire codes without a row show the card status byte.
      {0x10001, "Unknown error #01", "Unbekannter Fehler #01"},
      {0x10022, "Unknown error #22", "Unbekannter Fehler #22"},  // a layer code never set
      {0x20005, "Unknown error #05", "Unbekannter Fehler #05"},  // above the DESFire range
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(LibraryErrorText(row.code, kEnglish), row.english);
    EXPECT_EQ(LibraryErrorText(row.code, kGerman), row.german);
  }
}

TEST(GetErrorTextApi, ADesfireLastErrorReadsAsTheDesfireText) {
  kovra_sim::SimReader reader;
  kovra_test::SimPortOptions options;
  options.add_to_app = true;
  auto port = kovra_test::MakeSimPort(reader, 0, options);
  port->SetLastError(KOVRA_DESFIRE_DUPLICATE);
  char buffer[64] = {};
  const int count = KOVRA_GetErrorText(port->Handle(), KOVRA_LANG_ENGLISH, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max(count, 0))),
            "Duplicate application/file number given");
  kovra_test::RemoveSimPort(port);
}

// A handle of 0 never names a port, so its last error is 3 ("Port number invalid").
constexpr int kNoSuchPort = 0;

TEST(GetErrorTextApi, CopiesTheTextOfAnUnknownHandleWithoutTerminator) {
  const std::string english = "Port number invalid";
  char buffer[64];
  std::memset(buffer, '*', sizeof buffer);
  ASSERT_EQ(KOVRA_GetErrorText(kNoSuchPort, KOVRA_LANG_ENGLISH, buffer, sizeof buffer),
            static_cast<int>(english.size()));
  EXPECT_EQ(std::string(buffer, english.size()), english);
  EXPECT_EQ(buffer[english.size()], '*');  // no NUL written after the text

  const std::string german = "Portnummer ung\xC3\xBCltig";
  std::memset(buffer, '*', sizeof buffer);
  ASSERT_EQ(KOVRA_GetErrorText(kNoSuchPort, KOVRA_LANG_GERMAN, buffer, sizeof buffer),
            static_cast<int>(german.size()));
  EXPECT_EQ(std::string(buffer, german.size()), german);
  EXPECT_EQ(buffer[german.size()], '*');
}

TEST(GetErrorTextApi, ShortBufferGetsAPrefixAndNoBufferGetsNothing) {
  char buffer[8];
  std::memset(buffer, '*', sizeof buffer);
  EXPECT_EQ(KOVRA_GetErrorText(kNoSuchPort, KOVRA_LANG_ENGLISH, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "Port****");

  std::memset(buffer, '*', sizeof buffer);
  EXPECT_EQ(KOVRA_GetErrorText(kNoSuchPort, KOVRA_LANG_ENGLISH, nullptr, 8), 0);
  EXPECT_EQ(KOVRA_GetErrorText(kNoSuchPort, KOVRA_LANG_ENGLISH, buffer, 0), 0);
  EXPECT_EQ(KOVRA_GetErrorText(kNoSuchPort, KOVRA_LANG_ENGLISH, buffer, -1), 0);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "********");
}

}  // namespace
}  // namespace kovra
