// quillmate-cli format and delete-app on a card of kovra-sim: what is erased, what is left, and
// that refused options never reach the reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/cli_card_rig.h"
#include "support/cli_run.h"

using kovra_test::CliRun;
using kovra_test::RunCli;

namespace {

constexpr char kFactoryAesKey[] =
    "\"key\":{\"type\":\"aes\",\"key\":\"00000000000000000000000000000000\",\"version\":0}";

// The text of `state` from `from` up to (not including) `to`; empty when either is missing.
std::string Between(const std::string &state, const std::string &from, const std::string &to) {
  const size_t start = state.find(from);
  if (start == std::string::npos) return {};
  const size_t end = state.find(to, start);
  return end == std::string::npos ? std::string() : state.substr(start, end - start);
}

// What a card keeps over a power cycle: memory, master key and applications with their keys and
// files (not the selection or session, which every command changes).
std::string StoredCard(const std::string &state) {
  return Between(state, "\"memory\":", ",\"selected\"") +
         Between(state, "\"applications\":", ",\"cards_to_come\"");
}

// The card master key part of the card's state.
std::string Picc(const std::string &state) {
  return Between(state, "\"picc\":", ",\"selected\"");
}

// A DESFire card with a known UID on the simulated reader, and a job with an AES card master key
// and an application with an AES app master key.
class CliEraseTest : public kovra_test::CliCardRig {
 protected:
  void SetUp() override { PlaceCardAndSetJob(); }
  void WriteCard() {
    const CliRun write = OnReader({"write"});
    ASSERT_EQ(write.exit_code, 0) << write.err;
  }
};

// On a terminal the operator is asked first: anything but yes erases nothing (exit 1); yes, or
// --yes, erases.
TEST_F(CliEraseTest, OnATerminalTheOperatorConfirmsTheErase) {
  WriteCard();
  const std::string written = StoredCard(State());
  const std::vector<std::string> format = {"--config", dir_.path(), "--port", sim_.pty(),
                                           "--baud",   "115200",    "format"};
  const CliRun declined = kovra_test::RunCliOnTerminal(format, "n\n");
  EXPECT_EQ(declined.exit_code, 1) << declined.out;
  EXPECT_NE(declined.out.find("Erase the whole card"), std::string::npos) << declined.out;
  EXPECT_EQ(StoredCard(State()), written);

  const CliRun confirmed = kovra_test::RunCliOnTerminal(format, "y\n");
  EXPECT_EQ(confirmed.exit_code, 0) << confirmed.out;
  EXPECT_EQ(State().find("\"aid\":\"A1B2C3\""), std::string::npos);
}

TEST_F(CliEraseTest, FormatNeedsTheCardKeyAndLeavesAFactoryAesCard) {
  WriteCard();
  const std::string written = State();
  ASSERT_NE(written.find("\"aid\":\"A1B2C3\""), std::string::npos) << written;

  const CliRun wrong = OnReader({"format", "--card-key", kOtherKey});
  EXPECT_EQ(wrong.exit_code, 1);
  EXPECT_NE(wrong.err.find("Gewählter Card Master Key nicht gültig"), std::string::npos)
      << wrong.err;
  EXPECT_EQ(StoredCard(State()), StoredCard(written));

  // Without --card-key the job's CardKey opens the card.
  const CliRun format = OnReader({"--json", "format"});
  EXPECT_EQ(format.exit_code, 0) << format.err;
  EXPECT_EQ(format.out, std::string("{\"lines\":[\"Karte wurde gelöscht! (Karte ") + kUid +
                            ")\"],\"ok\":true,\"op\":\"format\",\"uid\":\"" + kUid + "\"}\n");
  const std::string formatted = State();
  EXPECT_NE(formatted.find("\"applications\":[]"), std::string::npos) << formatted;
  EXPECT_NE(Picc(formatted).find(kFactoryAesKey), std::string::npos) << formatted;
}

TEST_F(CliEraseTest, DeleteAppRemovesOnlyThatApplication) {
  WriteCard();
  ASSERT_EQ(Cli({"job", "set", "AppID=C0FFEE"}).exit_code, 0);
  WriteCard();
  const std::string written = State();
  const std::string other_app = Between(written, "{\"aid\":\"C0FFEE\"", "]}");
  ASSERT_FALSE(other_app.empty()) << written;

  const CliRun wrong = OnReader({"delete-app", "--aid", "A1B2C3", "--app-key", kOtherKey});
  EXPECT_EQ(wrong.exit_code, 1);
  EXPECT_NE(wrong.err.find("Gewählter App Master Key nicht gültig"), std::string::npos)
      << wrong.err;
  EXPECT_EQ(StoredCard(State()), StoredCard(written));

  const CliRun removed = OnReader({"delete-app", "--aid", "a1b2c3", "--app-key", kAppKey});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_NE(removed.err.find("Die gewählte Applikation wurde gelöscht!"), std::string::npos)
      << removed.err;
  const std::string after = State();
  EXPECT_EQ(after.find("\"aid\":\"A1B2C3\""), std::string::npos) << after;
  EXPECT_NE(after.find(other_app), std::string::npos) << after;
  EXPECT_EQ(Picc(after), Picc(written));

  // The job's AppKey is the default key; the application is gone, so the card says so.
  const CliRun again = OnReader({"--json", "delete-app", "--aid", "A1B2C3"});
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.err.find("nicht vorhanden <SelectApp>"), std::string::npos) << again.err;
  EXPECT_NE(again.out.find("\"ok\":false,\"op\":\"delete-app\""), std::string::npos) << again.out;
  EXPECT_NE(again.out.find(std::string("\"uid\":\"") + kUid), std::string::npos) << again.out;
  EXPECT_EQ(StoredCard(State()), StoredCard(after));
}

TEST_F(CliEraseTest, RefusedOptionsExitTwoWithoutReaderTraffic) {
  const std::string digits33(33, 'A');
  struct Case {
    std::vector<std::string> arguments;
    std::string named;
  };
  const std::vector<Case> cases = {
      {{"delete-app", "--aid", "XYZ"}, "--aid"},
      {{"delete-app", "--aid", "0x12"}, "--aid"},
      {{"delete-app", "--aid", ""}, "--aid"},
      {{"delete-app", "--aid", "1000000"}, "--aid"},
      {{"delete-app", "--aid", "FFFFFFFFFFFFFFFFFFFF"}, "--aid"},
      {{"delete-app"}, "--aid"},
      {{"delete-app", "--aid", "1", "--app-key", digits33}, "--app-key"},
      {{"delete-app", "--aid", "1", "--app-key", "12G4"}, "--app-key"},
      {{"format", "--card-key", digits33}, "--card-key"},
      {{"format", "--card-key", "12G4"}, "--card-key"},
  };
  const std::string commands_before = Between(State(), "\"commands\":", ",\"faults\"");
  for (const Case &c : cases) {
    const CliRun run = OnReader(c.arguments);
    const std::string shown = c.arguments.size() > 2 ? c.arguments.back() : c.arguments.front();
    EXPECT_EQ(run.exit_code, 2) << shown << ": " << run.err;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << shown << ": " << run.err;
  }
  EXPECT_EQ(Between(State(), "\"commands\":", ",\"faults\""), commands_before);
}

}  // namespace
