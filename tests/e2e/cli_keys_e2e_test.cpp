// Keys kept out of sight: quillmate-cli takes keys from files and standard input (an argument
// shows in `ps`), and quillmate-cli and quillmate run with core dumps off.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_card_rig.h"
#include "support/cli_run.h"

using kovra_test::CliRun;

namespace {

constexpr char kCardKey[] = "00112233445566778899AABBCCDDEEFF";
constexpr char kAppKey[] = "0102030405060708090A0B0C0D0E0F10";
constexpr char kOtherKey[] = "FFEEDDCCBBAA99887766554433221100";
constexpr char kAllowDumps[] = "QUILLMATE_ALLOW_CORE_DUMPS=1";

void WriteFile(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

class CliKeyFileTest : public ::testing::Test {
 protected:
  CliRun Cli(std::vector<std::string> arguments, const std::string &input = "") {
    arguments.insert(arguments.begin(), {"--config", dir_.path(), "--lang", "de"});
    return kovra_test::RunCliWithInput(std::move(arguments), input);
  }
  std::string File(const std::string &name, const std::string &text) {
    const std::string path = dir_.path() + "/" + name;
    WriteFile(path, text);
    return path;
  }
  std::string ShownKeys() { return Cli({"job", "show", "--show-keys"}).out; }

  kovra_test::TempDir dir_;
};

// A key file is read whole with one line end removed; "@-" reads standard input.
TEST_F(CliKeyFileTest, JobSetReadsKeysFromFilesAndStandardInput) {
  const std::string card = File("card.key", std::string(kCardKey) + "\n");
  const std::string app = File("app.key", std::string(kAppKey) + "\r\n");
  const std::string read = File("read.key", kOtherKey);
  const CliRun set =
      Cli({"job", "set", "CardKey=@" + card, "AppKey=@" + app, "ReadKey=@" + read, "WriteKey=@-"},
          std::string(kCardKey) + "\n");
  ASSERT_EQ(set.exit_code, 0) << set.err;
  EXPECT_EQ(set.err, "");
  const std::string shown = ShownKeys();
  EXPECT_NE(shown.find(std::string("CardKey=") + kCardKey + "\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find(std::string("AppKey=") + kAppKey + "\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find(std::string("ReadKey=") + kOtherKey + "\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find(std::string("WriteKey=") + kCardKey + "\n"), std::string::npos) << shown;
}

// Keys derived per card through the job keys: the switch and the system identifier are set and
// shown, the master key is masked as every key is, and "job check" warns about a free right.
TEST_F(CliKeyFileTest, JobSetDerivesKeysPerCardAndShowMasksTheMasterKeys) {
  const std::string card = File("card.key", kCardKey);
  const CliRun set = Cli({"job", "set", "CardKey=@" + card, "CardKeyProKarte=1",
                          "SystemKennung=0x4B56", "Wert=1", "ReadKeyNr=1", "WriteKeyNr=2"});
  ASSERT_EQ(set.exit_code, 0) << set.err;
  const std::string masked = Cli({"job", "show"}).out;
  for (const char *line : {"CardKey=********************************\n", "CardKeyProKarte=1\n",
                           "AppKeyProKarte=0\n", "SystemKennung=0x4B56\n"}) {
    EXPECT_NE(masked.find(line), std::string::npos) << line << masked;
  }
  EXPECT_EQ(masked.find(kCardKey), std::string::npos) << masked;
  EXPECT_NE(ShownKeys().find(std::string("CardKey=") + kCardKey + "\n"), std::string::npos);

  const CliRun check = Cli({"job", "check"});
  EXPECT_NE(check.out.find("warning: ReadKeyNr ist freier Zugriff"), std::string::npos)
      << check.out << check.err;
  EXPECT_EQ(Cli({"job", "set", "ReadKeyProKarte=2"}).exit_code, 2);
  const CliRun refused = Cli({"job", "set", "SystemKennung=0x4", "CardKeyProKarte=1"});
  ASSERT_EQ(refused.exit_code, 0);  // stored as typed; the job check names it
  const CliRun bad = Cli({"job", "check"});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_NE(bad.err.find("SystemKennung: Keine Hex-Eingabe"), std::string::npos) << bad.err;
}

// --help names every way to give a key without an argument.
TEST_F(CliKeyFileTest, HelpSaysHowToKeepKeysOutOfTheCommandLine) {
  const CliRun help = Cli({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char *text : {"--card-key-file <FILE>", "--app-key-file <FILE>", "KEY=@FILE", "ps"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
}

// A file that holds no key is refused, named, never quoted, and the job stays as it was.
TEST_F(CliKeyFileTest, JobSetRefusesWhatIsNoKeyFileWithoutQuotingIt) {
  const std::string secret_part = "8899AABBCCDDEE";
  struct Case {
    const char *what;
    std::string content;  // the file's text
    bool missing;
  };
  const std::vector<Case> cases = {
      {"not hex", "00112233445566778899AABBCCDDEEFG\n", false},
      {"31 digits", "0112233445566778899AABBCCDDEEFF\n", false},
      {"33 digits", "000112233445566778899AABBCCDDEEFF", false},
      {"two line ends", "00112233445566778899AABBCCDDEEFF\n\n", false},
      {"two keys", "00112233445566778899AABBCCDDEEFF\n00112233445566778899AABBCCDDEEFF\n", false},
      {"a blank before", " 00112233445566778899AABBCCDDEEFF", false},
      {"empty", "", false},
      {"huge", std::string(100000, 'A'), false},
      {"missing", "", true},
  };
  const std::string before = ShownKeys();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir_.path() + "/bad.key";
    unlink(path.c_str());
    if (!c.missing) File("bad.key", c.content);
    const CliRun set = Cli({"job", "set", "AppID=123456", "CardKey=@" + path});
    EXPECT_EQ(set.exit_code, 2);
    EXPECT_NE(set.err.find("job set: CardKey=@" + path + ": "), std::string::npos) << set.err;
    EXPECT_EQ(set.err.find(secret_part), std::string::npos) << set.err;
    EXPECT_EQ(ShownKeys(), before);
  }
  // Standard input holds one key: a second "@-" is refused.
  const CliRun twice = Cli({"job", "set", "CardKey=@-", "AppKey=@-"}, std::string(kCardKey) + "\n");
  EXPECT_EQ(twice.exit_code, 2);
  EXPECT_NE(twice.err.find("AppKey=@-: standard input gives one key only"), std::string::npos)
      << twice.err;
  EXPECT_EQ(ShownKeys(), before);
}

// format and delete-app on a card of kovra-sim with the keys from files and standard input.
class CliEraseKeyFileTest : public kovra_test::CliCardRig {
 protected:
  void SetUp() override {
    PlaceCardAndSetJob();
    const CliRun write = OnReader({"write"});
    ASSERT_EQ(write.exit_code, 0) << write.err;
    // The job's keys no longer open the card: only the key files can.
    ASSERT_EQ(Cli({"job", "set", "CardKey=", "AppKey="}).exit_code, 0);
  }
  std::string File(const std::string &name, const std::string &text) {
    const std::string path = dir_.path() + "/" + name;
    WriteFile(path, text);
    return path;
  }
};

TEST_F(CliEraseKeyFileTest, DeleteAppAndFormatTakeTheirKeysFromFiles) {
  const CliRun wrong =
      OnReader({"delete-app", "--aid", "A1B2C3", "--app-key-file", File("other.key", kOtherKey)});
  EXPECT_EQ(wrong.exit_code, 1);
  EXPECT_NE(State().find("\"aid\":\"A1B2C3\""), std::string::npos);

  const CliRun removed = OnReader(
      {"delete-app", "--aid", "A1B2C3", "--app-key-file", File("app.key", std::string(kAppKey))});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(State().find("\"aid\":\"A1B2C3\""), std::string::npos);

  const CliRun formatted =
      OnReader({"--json", "format", "--card-key-file", "-"}, std::string(kCardKey) + "\n");
  EXPECT_EQ(formatted.exit_code, 0) << formatted.err;
  EXPECT_NE(formatted.out.find("\"ok\":true"), std::string::npos) << formatted.out;
}

// A refused key file or a clash of key options never reaches the reader.
TEST_F(CliEraseKeyFileTest, RefusedKeyOptionsLeaveTheCardAlone) {
  const std::string written = State();
  const std::string good = File("card.key", kCardKey);
  const std::string bad = File("bad.key", "00112233445566778899AABBCCDDEEFG");
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"format", "--card-key-file", bad},
       "--card-key-file " + bad + ": not a key; a key file holds exactly 32 hex digits"},
      {{"format", "--card-key-file", dir_.path() + "/none.key"},
       "--card-key-file " + dir_.path() + "/none.key: cannot be read: "},
      {{"format", "--card-key-file", dir_.path()}, "--card-key-file " + dir_.path() + ": cannot"},
      {{"format", "--card-key", kCardKey, "--card-key-file", good},
       "--card-key and --card-key-file exclude each other"},
      {{"delete-app", "--aid", "A1B2C3", "--app-key-file", bad}, "--app-key-file " + bad},
      {{"delete-app", "--aid", "A1B2C3", "--app-key", kAppKey, "--app-key-file", good},
       "--app-key and --app-key-file exclude each other"},
      {{"delete-app", "--aid", "A1B2C3", "--card-key-file", good},
       "--card-key and --card-key-file belong to format"},
      {{"format", "--app-key-file", good},
       "--aid, --app-key and --app-key-file belong to delete-app"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.message);
    const CliRun run = OnReader(c.arguments);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("DDEEFG"), std::string::npos) << run.err;
  }
  EXPECT_EQ(State(), written);
}

// What /proc says of a running process: whether it may dump core and its core size limit.
std::string ProcText(pid_t pid, const char *entry) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/" + entry);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}
// The owner of /proc/PID/status: the process's user while it may dump core, root when it may not.
// The kernel fixes an entry's owner when the entry is first looked up, so this is asked once per
// process, after the program has passed the point in question.
uid_t StatusOwner(pid_t pid) {
  struct stat status {};
  if (stat(("/proc/" + std::to_string(pid) + "/status").c_str(), &status) != 0) {
    return static_cast<uid_t>(-1);
  }
  return status.st_uid;
}
// The core size limit, soft and hard ("0 0"); empty when /proc does not say.
std::string CoreLimits(pid_t pid) {
  std::istringstream limits(ProcText(pid, "limits"));
  std::string line;
  while (std::getline(limits, line)) {
    if (line.rfind("Max core file size", 0) != 0) continue;
    std::istringstream words(line.substr(std::strlen("Max core file size")));
    std::string soft, hard;
    words >> soft >> hard;
    return soft + " " + hard;
  }
  return {};
}
// True while the process runs (a process that ended shows as a zombie until it is waited for).
bool Running(pid_t pid) {
  const std::string stat = ProcText(pid, "stat");
  const size_t name_end = stat.rfind(')');
  return name_end != std::string::npos && stat.size() > name_end + 2 && stat[name_end + 2] != 'Z';
}
bool Eventually(const std::function<bool()> &condition) {
  for (int waited = 0; waited < 10000; waited += 20) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

// A key-holding program started as its own process. Run by root, it runs as nobody, so that
// StatusOwner can tell (root's own processes belong to root either way). Its core size limit starts
// at the hard limit, so that the program lowering it shows.
class KeyHolder {
 public:
  KeyHolder(const char *program, std::vector<std::string> arguments, bool allow_dumps,
            const std::string &home) {
    arguments.insert(arguments.begin(), program);
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = {"HOME=" + home, "XDG_CONFIG_HOME=" + home,
                                            "QT_QPA_PLATFORM=offscreen", "LC_ALL=C.UTF-8"};
    if (allow_dumps) environment.push_back(kAllowDumps);
    std::vector<char *> envp;
    for (std::string &variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    user_ = geteuid() == 0 ? 65534 : geteuid();
    int input[2];
    if (pipe(input) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(input[0], STDIN_FILENO);
      close(input[0]);
      close(input[1]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      rlimit core{};
      getrlimit(RLIMIT_CORE, &core);
      core.rlim_cur = core.rlim_max;
      setrlimit(RLIMIT_CORE, &core);
      if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    close(input[0]);
    input_ = input[1];
  }
  ~KeyHolder() {
    if (input_ >= 0) close(input_);
    if (pid_ > 0) kovra_test::WaitProgram(pid_, 10000);
  }
  // Kills the program (the CLI ends by itself when its standard input closes).
  void Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
  }
  pid_t pid() const { return pid_; }
  uid_t user() const { return user_; }
  // True once the program waits reading its standard input (the CLI's key from "-").
  bool WaitsOnStandardInput() const {
    return ProcText(pid_, "syscall").rfind(std::to_string(SYS_read) + " 0x0 ", 0) == 0;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  uid_t user_ = 0;
};

bool CoreLimitCanBeRaised() {
  rlimit core{};
  return getrlimit(RLIMIT_CORE, &core) == 0 && core.rlim_max != 0;
}

class CoreDumpTest : public ::testing::Test {
 protected:
  void SetUp() override { chmod(dir_.path().c_str(), 0777); }
  // quillmate-cli waiting for a key on standard input, the moment it holds one.
  KeyHolder WaitingCli(bool allow_dumps) {
    return KeyHolder(QUILLMATE_CLI_PATH,
                     {"--config", dir_.path(), "format", "--card-key-file", "-"}, allow_dumps,
                     dir_.path());
  }
  kovra_test::TempDir dir_;
};

// Not dumpable and no core size while the program runs. The core size limit, lowered right after
// the process was made undumpable, shows when it has passed that point.
void ExpectUndumpable(KeyHolder &program) {
  ASSERT_GT(program.pid(), 0);
  if (!CoreLimitCanBeRaised()) GTEST_SKIP() << "the core size limit cannot be raised here";
  EXPECT_TRUE(Eventually([&] { return CoreLimits(program.pid()) == "0 0"; }))
      << CoreLimits(program.pid());
  EXPECT_EQ(StatusOwner(program.pid()), 0u);
  EXPECT_TRUE(Running(program.pid()));
}

TEST_F(CoreDumpTest, TheCliHoldsKeysUndumpable) {
  KeyHolder cli = WaitingCli(false);
  ExpectUndumpable(cli);
}

TEST_F(CoreDumpTest, TheSwitchLeavesTheCliDumpableForDebugging) {
  KeyHolder cli = WaitingCli(true);
  ASSERT_GT(cli.pid(), 0);
  ASSERT_TRUE(Eventually([&] { return cli.WaitsOnStandardInput(); }));
  EXPECT_EQ(StatusOwner(cli.pid()), cli.user());
  if (CoreLimitCanBeRaised()) {
    EXPECT_NE(CoreLimits(cli.pid()), "0 0");
  }
}

TEST_F(CoreDumpTest, TheWindowHoldsKeysUndumpable) {
  KeyHolder window(QUILLMATE_GUI_PATH, {"--config", dir_.path()}, false, dir_.path());
  ExpectUndumpable(window);
  window.Kill();
}

}  // namespace
