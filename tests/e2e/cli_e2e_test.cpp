// quillmate-cli as a script runs it: the exit codes of help, a refused job and a missing reader.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/sim_process.h"

namespace {

struct CliRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

// Runs the CLI with `arguments`; stderr goes to a file so that neither pipe can fill up.
CliRun RunCli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), QUILLMATE_CLI_PATH);
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  FILE *err = tmpfile();
  int out[2];
  CliRun run;
  if (!err || pipe(out) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fileno(err), STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = -1;
  const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  run.out = ReadAll(out[0]);
  int status = 0;
  if (spawned && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    run.exit_code = WEXITSTATUS(status);
  }
  rewind(err);
  run.err = ReadAll(dup(fileno(err)));
  fclose(err);
  return run;
}

// A private settings folder, removed afterwards.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/quillmate-cli-test-XXXXXX";
    if (mkdtemp(name)) path_ = name;
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

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
