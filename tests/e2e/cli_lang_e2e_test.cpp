// The language of quillmate-cli's texts: the settings' "Sprache" decides unless --lang is given,
// and English comes from the translation file built next to the program.
#include <gtest/gtest.h>

#include <QSettings>
#include <QString>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_run.h"
#include "support/sim_process.h"

using kovra_test::CliRun;
using kovra_test::RunCli;
using kovra_test::TempDir;

namespace {

constexpr char kGermanUnreadable[] = "Die Datei /no/such/job.ini kann nicht gelesen werden!";
constexpr char kEnglishUnreadable[] = "The file /no/such/job.ini cannot be read!";

std::vector<std::string> With(std::vector<std::string> first,
                              const std::vector<std::string> &then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

class CliLanguageTest : public ::testing::Test {
 protected:
  std::vector<std::string> Config() { return {"--config", dir_.path()}; }
  // Sets "Sprache" in the settings the CLI reads (0 German, 1 English).
  void SetSettingsLanguage(int language) {
    QSettings settings(QString::fromStdString(dir_.path() + "/KV-DESFire Quillmate.ini"),
                       QSettings::IniFormat);
    settings.setValue("Settings/Sprache", language);
    settings.sync();
    ASSERT_EQ(settings.status(), QSettings::NoError);
  }
  TempDir dir_;
};

// A job file that cannot be read is reported in the language chosen.
TEST_F(CliLanguageTest, TheSettingsLanguageUnlessLangSaysOtherwise) {
  struct Case {
    int settings_language;
    std::vector<std::string> lang_option;
    const char *expected;
  };
  const std::vector<Case> cases = {
      {0, {}, kGermanUnreadable},
      {1, {}, kEnglishUnreadable},
      {1, {"--lang", "de"}, kGermanUnreadable},
      {0, {"--lang", "en"}, kEnglishUnreadable},
  };
  for (const Case &c : cases) {
    SetSettingsLanguage(c.settings_language);
    const CliRun run =
        RunCli(With(With(Config(), c.lang_option), {"job", "show", "/no/such/job.ini"}));
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find(c.expected), std::string::npos)
        << "Sprache=" << c.settings_language << ": " << run.err;
  }
}

// A card written with --lang en reports its success in English.
TEST_F(CliLanguageTest, AWrittenCardIsReportedInEnglish) {
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, {});
  ASSERT_FALSE(sim.pty().empty());
  ASSERT_EQ(RunCli(With(Config(), {"job", "set", "AppID=A1B2C3", "FileID=1", "FileMode=0",
                                   "KeyAnzahl=2", "ReadKeyNr=1", "WriteKeyNr=1", "ReadWriteKeyNr=1",
                                   "Byteanzahl=16", "Zahlenformat=1", "Darstellung=1", "Wert=41"}))
                .exit_code,
            0);
  ASSERT_EQ(sim.Control("place desfire").rfind("ok", 0), 0u);

  const CliRun run =
      RunCli(With(Config(), {"--port", sim.pty(), "--baud", "115200", "--lang", "en", "write"}));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("Value <41> written successfully"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("erfolgreich"), std::string::npos) << run.err;
}

}  // namespace
