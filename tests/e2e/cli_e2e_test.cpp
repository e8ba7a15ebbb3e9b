// quillmate-cli as a script runs it: the exit codes of help, a refused job and a missing reader.
#include <gtest/gtest.h>
#include <chrono>
#include <cstdlib>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_run.h"
#include "support/sim_process.h"

using kovra_test::CliRun;
using kovra_test::RunCli;
using kovra_test::TempDir;

namespace {

// An example job: a fresh card gets an application with two AES keys and a counting value.
const std::vector<std::string> kExampleJob = {
    "AppID=A1B2C3",   "FileID=1",      "FileMode=0",       "KeyAnzahl=2",
    "ReadKeyNr=1",    "WriteKeyNr=1",  "ReadWriteKeyNr=1", "Byteanzahl=16",
    "Zahlenformat=1", "Darstellung=1", "AutoIncrement=1",  "Wert=41"};

class CliTest : public ::testing::Test {
 protected:
  std::vector<std::string> Config() { return {"--config", dir_.path()}; }
  std::vector<std::string> With(std::vector<std::string> first,
                                const std::vector<std::string> &then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
  }
  TempDir dir_;
};

TEST_F(CliTest, HelpListsTheCommands) {
  const CliRun run = RunCli({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("write"), std::string::npos);
  EXPECT_NE(run.out.find("Exit codes"), std::string::npos);
}

TEST_F(CliTest, RefusedJobsExitTwoNamingTheField) {
  struct Case {
    std::vector<std::string> arguments;
    std::string named;
  };
  const std::vector<Case> cases = {
      {{"job", "set", "AppID=XYZ"}, "AppID"},       {{"job", "set", "CardKey=00GG"}, "CardKey"},
      {{"job", "set", "NoSuchKey=1"}, "NoSuchKey"}, {{"job", "set", "FileID=20"}, "File"},
      {{"write", "--count", "0"}, "count"},
  };
  for (const Case &c : cases) {
    const CliRun run = RunCli(With(Config(), c.arguments));
    EXPECT_EQ(run.exit_code, 2) << c.arguments.back();
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
  }
}

TEST_F(CliTest, NoReaderOnThePortExitsThree) {
  ASSERT_EQ(RunCli(With(With(Config(), {"job", "set"}), kExampleJob)).exit_code, 0);
  const CliRun write = RunCli(With(Config(), {"--port", "/dev/null", "write"}));
  EXPECT_EQ(write.exit_code, 3) << write.err;
  EXPECT_EQ(RunCli(With(Config(), {"--port", "/dev/null", "info"})).exit_code, 3);
}

}  // namespace

namespace {

// A series from the command line: kovra-sim lays three factory-fresh cards on the reader one
// after another; `write --count 3` writes each exactly once, the value counting up, and the next
// value is left in the settings.
TEST_F(CliTest, WritesASeriesOfFedCards) {
  ASSERT_EQ(RunCli(With(With(Config(), {"job", "set"}), kExampleJob)).exit_code, 0);
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, {});
  ASSERT_FALSE(sim.pty().empty());
  auto series = std::async(std::launch::async, [&] {
    return RunCli(With(
        Config(), {"--port", sim.pty(), "--baud", "115200", "--json", "write", "--count", "3"}));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the CLI opens the port
  ASSERT_EQ(sim.Control("feed 3 leave=500 gap=300"), "ok");
  const CliRun run = series.get();
  EXPECT_EQ(run.exit_code, 0);
  std::set<std::string> uids;
  for (const char *value : {"\"value\":\"41\"", "\"value\":\"42\"", "\"value\":\"43\""}) {
    EXPECT_NE(run.out.find(value), std::string::npos) << run.out;
  }
  for (size_t at = run.out.find("\"uid\":\""); at != std::string::npos;
       at = run.out.find("\"uid\":\"", at + 1)) {
    uids.insert(run.out.substr(at + 7, 14));
  }
  EXPECT_EQ(uids.size(), 3u) << run.out;
  const CliRun job = RunCli(With(Config(), {"job", "show"}));
  EXPECT_NE(job.out.find("Wert=44"), std::string::npos) << job.out;
}

}  // namespace
