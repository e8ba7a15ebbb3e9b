// quillmate-cli as a script runs it: the exit codes of help, a refused job and a missing reader,
// and series written and read on kovra-sim.
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "support/cli_run.h"
#include "support/sim_cards_seen.h"
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
      {{"job", "set", "AppID=XYZ"}, "AppID"},
      {{"job", "set", "CardKey=00GG"}, "CardKey"},
      {{"job", "set", "CardKey=ABC"}, "exactly 32 hex digits"},
      {{"job", "set", "NoSuchKey=1"}, "NoSuchKey"},
      {{"job", "set", "FileID=20"}, "File"},
      {{"write", "--count", "0"}, "count"},
      {{"write", "--count", "2", "--cycle"}, "exclude each other"},
      {{"read", "--value", "5"}, "--value"},
      {{"write", "--card-key", "00"}, "--card-key"},
      {{"format", "--aid", "1"}, "--aid"},
      {{"delete-app"}, "--aid"},
      {{"info", "--log", "x"}, "--log"},
      {{"--lang", "fr", "info"}, "--lang"},
      {{"--baud", "fast", "info"}, "--baud"},
      {{"--bogus", "info"}, "bogus"},
      {{"launch"}, "unknown command"},
      {{"job", "list"}, "job"},
      {{"info", "extra"}, "extra"},
      {{"write", "--job", "/nonexistent/serie"}, "/nonexistent/serie.KVMFDat"},
  };
  for (const Case &c : cases) {
    const CliRun run = RunCli(With(Config(), c.arguments));
    EXPECT_EQ(run.exit_code, 2) << c.arguments.back();
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
  }
}

// Why a reader did not open is said, with what to do about it: a missing device, a name that is
// no serial device, a device another program holds. (A device without permission cannot be shown
// here: the tests may run as root, whom no device refuses.)
TEST_F(CliTest, APortThatDoesNotOpenIsExplained) {
  kovra_test::SimProcess sim{KOVRA_SIM_PATH, {}};
  const int held = open(sim.pty().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  const struct {
    std::string port;
    std::string said;
  } cases[] = {
      {"/dev/quillmate-no-such-reader", "gibt es nicht: ist der Leser angeschlossen?"},
      {"/dev/null", "/dev/null ist keine serielle Schnittstelle."},
      {sim.pty(), sim.pty() + " wird von einem anderen Programm benutzt."},
  };
  for (const auto &c : cases) {
    const CliRun run = RunCli(With(Config(), {"--lang", "de", "--port", c.port, "info"}));
    EXPECT_EQ(run.exit_code, 3) << c.port;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
  }
  close(held);
}

// A settings file of random bytes is neither shown as the default job, nor replaced by it, nor
// used for a card: every command refuses it (exit 2, the file named) and leaves it as it was.
TEST_F(CliTest, ADamagedSettingsFileIsRefusedAndLeftAlone) {
  const std::string path = dir_.path() + "/KV-DESFire Quillmate.ini";
  const std::string garbage("\x13\xfe\x00[\x87\n\x01zz\xff\n", 11);
  {
    std::ofstream file(path, std::ios::binary);
    file << garbage;
  }
  const std::vector<std::vector<std::string>> commands = {
      {"job", "show"}, {"job", "set", "Wert=5"}, {"--port", "/dev/null", "write"}};
  for (const std::vector<std::string> &command : commands) {
    const CliRun run = RunCli(With(Config(), command));
    EXPECT_EQ(run.exit_code, 2) << command.front();
    EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  std::ifstream file(path, std::ios::binary);
  const std::string now((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(now, garbage);
}

// `job check` lists what the write check accepts but is probably not meant (exit 1), and `write`
// (also a cycle) says the same before its first card.
TEST_F(CliTest, JobCheckWarnsBeforeTheFirstCard) {
  ASSERT_EQ(RunCli(With(With(Config(), {"job", "set"}), kExampleJob)).exit_code, 0);
  ASSERT_EQ(RunCli(With(Config(), {"job", "set", "Byteanzahl=2", "Wert=95"})).exit_code, 0);
  const CliRun check = RunCli(With(Config(), {"job", "check", "--count", "10"}));
  EXPECT_EQ(check.exit_code, 1) << check.err;
  EXPECT_NE(check.out.find("warning: Freier Schreibzugriff"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find("warning: Wert: die Serie passt nach 5 Karten"), std::string::npos)
      << check.out;
  const CliRun write = RunCli(With(Config(), {"--port", "/dev/null", "write", "--count", "10"}));
  EXPECT_EQ(write.exit_code, 3);
  EXPECT_NE(write.err.find("warning: Wert: die Serie passt nach 5 Karten"), std::string::npos)
      << write.err;
  // A cycle has no count: it looks a long day of cards ahead.
  const CliRun cycle = RunCli(With(Config(), {"--port", "/dev/null", "write", "--cycle"}));
  EXPECT_EQ(cycle.exit_code, 3);
  EXPECT_NE(cycle.err.find("warning: Wert: die Serie passt nach 5 Karten"), std::string::npos)
      << cycle.err;
}

// Files that hold keys are their owner's alone when created (0600); a file the operator gave
// another mode keeps it. `job show` prints keys masked unless --show-keys.
TEST_F(CliTest, KeyFilesArePrivateAndKeysAreShownMasked) {
  const std::string settings = dir_.path() + "/KV-DESFire Quillmate.ini";
  const std::string job_file = dir_.path() + "/private.KVMFDat";
  const std::string key = "00112233445566778899AABBCCDDEEFF";
  ASSERT_EQ(RunCli(With(Config(), {"job", "set", "CardKey=" + key})).exit_code, 0);
  ASSERT_EQ(RunCli(With(Config(), {"job", "set", job_file, "CardKey=" + key})).exit_code, 0);
  const auto mode = [](const std::string &path) {
    struct stat state {};
    return stat(path.c_str(), &state) == 0 ? state.st_mode & 0777 : 07777;
  };
  EXPECT_EQ(mode(settings), 0600u);
  EXPECT_EQ(mode(job_file), 0600u);
  ASSERT_EQ(chmod(job_file.c_str(), 0640), 0);
  ASSERT_EQ(RunCli(With(Config(), {"job", "set", job_file, "Wert=7"})).exit_code, 0);
  EXPECT_EQ(mode(job_file), 0640u);

  const std::string masked = RunCli(With(Config(), {"job", "show"})).out;
  EXPECT_NE(masked.find("CardKey=" + std::string(32, '*') + "\n"), std::string::npos) << masked;
  EXPECT_EQ(masked.find(key), std::string::npos);
  const std::string clear = RunCli(With(Config(), {"job", "show", "--show-keys"})).out;
  EXPECT_NE(clear.find("CardKey=" + key + "\n"), std::string::npos) << clear;
}

// Job files with garbage are refused before the reader is opened (exit 2, the key named), and the
// file is left as it was.
TEST_F(CliTest, BadJobFilesAreRefusedNamingTheKey) {
  struct Case {
    std::string content;
    std::string named;
  };
  const std::vector<Case> cases = {
      {"", "keinen Auftrag"},
      {std::string("\x00\x01garbage\xff", 10), "keinen Auftrag"},
      {"[Settings]\r\nAppID=zz\r\n", "AppID"},
      {"[Settings]\r\nAppID=1\r\nByteanzahl=99999999999999999999\r\n", "Byteanzahl"},
      {"[Settings]\r\nAppID=1\r\nFileMode=9\r\n", "FileMode"},
      {"[Settings]\r\nAppID=1\r\nZahlenformat=3\r\n", "Zahlenformat"},
      {"[Settings]\r\nAppID=1\r\nDarstellung=-1\r\n", "Darstellung"},
      {"[Settings]\r\nAppID=1\r\nAusrichtung=2\r\n", "Ausrichtung"},
      // Four ASCII bytes cannot hold five digits: the card would get "1234".
      {"[Settings]\r\nAppID=1\r\nWert=12345\r\nByteanzahl=4\r\nZahlenformat=1\r\n"
       "Darstellung=1\r\n",
       "Wert"},
      {"[Settings]\r\nAppID=1\r\nWert=1\r\nByteanzahl=4\r\nZahlenformat=1\r\nCardKey=!!\r\n",
       "CardKey"},
      {"[Settings]\r\nAppID=1\r\nWert=4\xff\xfe\r\nByteanzahl=4\r\nZahlenformat=1\r\n", "Wert"},
  };
  const std::string path = dir_.path() + "/bad.KVMFDat";
  for (const Case &c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.content;
    const CliRun run = RunCli(With(Config(), {"--port", "/dev/null", "write", "--job", path}));
    EXPECT_EQ(run.exit_code, 2) << c.named << ": " << run.err;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), c.content);
  }
}

// Winding a series back puts its values on second cards: "job set Wert=" and "write --value"
// with a value the series has given out already are refused without --yes (a script has no
// terminal to ask on); a log that cannot take lines is refused before the first card.
TEST_F(CliTest, AGivenOutValueNeedsYesAndALogMustTakeItsLines) {
  ASSERT_EQ(RunCli(With(With(Config(), {"job", "set"}), kExampleJob)).exit_code, 0);
  ASSERT_EQ(RunCli(With(Config(), {"job", "set", "Wert=50"})).exit_code, 0)
      << "forward: no question";
  const auto stored = [this] { return "\n" + RunCli(With(Config(), {"job", "show"})).out; };

  const CliRun back = RunCli(With(Config(), {"job", "set", "Wert=45"}));
  EXPECT_EQ(back.exit_code, 2);
  EXPECT_NE(back.err.find("given out 45 already"), std::string::npos) << back.err;
  EXPECT_NE(stored().find("\nWert=50\n"), std::string::npos);

  const std::string no_port = dir_.path() + "/no-such-port";
  const CliRun value_back = RunCli(With(Config(), {"--port", no_port, "write", "--value", "45"}));
  EXPECT_EQ(value_back.exit_code, 2) << value_back.err;
  EXPECT_NE(value_back.err.find("--value 45"), std::string::npos) << value_back.err;

  const std::string log = dir_.path() + "/missing/write.log";
  const CliRun no_log = RunCli(With(Config(), {"--port", no_port, "write", "--log", log}));
  EXPECT_EQ(no_log.exit_code, 2) << no_log.err;
  EXPECT_NE(no_log.err.find(log), std::string::npos) << no_log.err;

  EXPECT_EQ(RunCli(With(Config(), {"--yes", "job", "set", "Wert=45"})).exit_code, 0);
  EXPECT_NE(stored().find("\nWert=45\n"), std::string::npos);
}

TEST_F(CliTest, NoReaderOnThePortExitsThree) {
  ASSERT_EQ(RunCli(With(With(Config(), {"job", "set"}), kExampleJob)).exit_code, 0);
  const CliRun write = RunCli(With(Config(), {"--port", "/dev/null", "write"}));
  EXPECT_EQ(write.exit_code, 3) << write.err;
  EXPECT_EQ(RunCli(With(Config(), {"--port", "/dev/null", "info"})).exit_code, 3);
}

}  // namespace

namespace {

using kovra_test::SeenCard;

std::vector<SeenCard> CardsSeen(kovra_test::SimProcess &sim) {
  return kovra_test::CardsSeen(sim.Control("state"));
}

bool FieldEmpty(kovra_test::SimProcess &sim) {
  const QJsonObject state =
      QJsonDocument::fromJson(QByteArray::fromStdString(sim.Control("state"))).object();
  return state["field"]["card"].isNull();
}

// The objects of --json output, one per line.
std::vector<QJsonObject> JsonLines(const std::string &out) {
  std::vector<QJsonObject> objects;
  for (const QByteArray &line : QByteArray::fromStdString(out).split('\n')) {
    if (!line.isEmpty()) objects.push_back(QJsonDocument::fromJson(line).object());
  }
  return objects;
}

// The data a card carries for a value of the example job: its text in ASCII, zero-padded to the
// file's 16 bytes.
std::string CardData(const std::string &value) {
  QByteArray bytes = QByteArray::fromStdString(value);
  bytes.resize(16, '\0');
  return bytes.toHex().toUpper().toStdString();
}

class CliSeriesTest : public CliTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunCli(With(With(Config(), {"job", "set"}), kExampleJob)).exit_code, 0);
    ASSERT_FALSE(sim_.pty().empty());
  }
  std::vector<std::string> OnReader(const std::vector<std::string> &command) {
    return With(With(Config(), {"--port", sim_.pty(), "--baud", "115200"}), command);
  }
  std::string StoredValue() {
    const std::string job = "\n" + RunCli(With(Config(), {"job", "show"})).out;
    const size_t at = job.find("\nWert=");
    return at == std::string::npos ? "" : job.substr(at + 6, job.find('\n', at + 1) - at - 6);
  }
  kovra_test::SimProcess sim_{KOVRA_SIM_PATH, {}};
};

// kovra-sim lays three factory-fresh cards on the reader one after another: `write --count 3`
// writes each exactly once, the value counting up on the cards and in the log, the next value
// left in the settings; the same cards laid down again are read back by `read --count 3`.
TEST_F(CliSeriesTest, WritesASeriesAndReadsItBack) {
  const std::string log = dir_.path() + "/write.log";
  auto series = std::async(std::launch::async, [&] {
    return RunCli(OnReader({"--json", "write", "--count", "3", "--log", log}));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the CLI opens the port
  ASSERT_EQ(sim_.Control("feed 3 leave=500 gap=300"), "ok");
  const CliRun written = series.get();
  EXPECT_EQ(written.exit_code, 0) << written.err;

  const std::vector<std::string> values = {"41", "42", "43"};
  const std::vector<QJsonObject> objects = JsonLines(written.out);
  const std::vector<SeenCard> cards = CardsSeen(sim_);
  ASSERT_EQ(objects.size(), 3u) << written.out;
  ASSERT_GE(cards.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(objects[i]["ok"].toBool());
    EXPECT_EQ(objects[i]["value"].toString().toStdString(), values[i]);
    EXPECT_EQ(objects[i]["uid"].toString().toStdString(), cards[i].uid);
    EXPECT_EQ(cards[i].data, CardData(values[i])) << i;
  }
  EXPECT_EQ(StoredValue(), "44");
  std::ifstream log_file(log);
  std::vector<std::string> log_lines;
  for (std::string line; std::getline(log_file, line);) log_lines.push_back(line);
  ASSERT_EQ(log_lines.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    // The log shows the UID bytes from the last to the first.
    std::string reversed;
    for (size_t at = cards[i].uid.size(); at >= 2; at -= 2)
      reversed += cards[i].uid.substr(at - 2, 2);
    EXPECT_NE(log_lines[i].find("\t" + reversed + "\t"), std::string::npos) << log_lines[i];
    EXPECT_NE(log_lines[i].find(values[i]), std::string::npos) << log_lines[i];
  }

  // Read back: each card once, although the read cycle sees a card several times. The last
  // written card is taken away first.
  for (int i = 0; i < 100 && !FieldEmpty(sim_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  auto reading = std::async(std::launch::async, [&] {
    return RunCli(OnReader({"--json", "read", "--count", "3"}));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  ASSERT_EQ(sim_.Control("again 3 leave=900 gap=200"), "ok 3");
  const CliRun read = reading.get();
  EXPECT_EQ(read.exit_code, 0) << read.err;
  const std::vector<QJsonObject> read_objects = JsonLines(read.out);
  ASSERT_EQ(read_objects.size(), 3u) << read.out;
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(read_objects[i]["op"].toString(), "read");
    EXPECT_EQ(read_objects[i]["value"].toString().toStdString(), values[i]);
    EXPECT_EQ(read_objects[i]["uid"].toString().toStdString(), cards[i].uid);
  }
}

// A card that stays on the reader through many cycle ticks is written once; SIGINT ends the cycle
// with exit code 0.
TEST_F(CliSeriesTest, ACardLeftOnTheReaderIsWrittenOnce) {
  ASSERT_EQ(sim_.Control("place desfire").rfind("ok", 0), 0u);
  const std::string output = dir_.path() + "/cycle.out";
  const pid_t cli = kovra_test::StartCli(OnReader({"--json", "write", "--cycle"}), output);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // about ten ticks
  EXPECT_EQ(kovra_test::StopProgram(cli, SIGINT), 0);

  std::ifstream file(output);
  const std::string out((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(std::count(out.begin(), out.end(), '{'), 1) << out;
  const std::vector<SeenCard> cards = CardsSeen(sim_);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].data, CardData("41"));
  EXPECT_EQ(StoredValue(), "42");
}

// A store that cannot take the next value (here its lock companion is a folder) does not mend
// itself between ticks: `write --count 3` ends at the first card with exit 1, naming the file and
// the system's reason, and no card is written.
TEST_F(CliSeriesTest, AStoreThatCannotBeWrittenEndsTheSeries) {
  const std::string lock = dir_.path() + "/KV-DESFire Quillmate.ini.lck";
  ASSERT_EQ(::mkdir(lock.c_str(), 0700), 0);
  ASSERT_EQ(sim_.Control("place desfire").rfind("ok", 0), 0u);
  const auto started = std::chrono::steady_clock::now();
  const CliRun written = RunCli(OnReader({"write", "--count", "3"}));
  EXPECT_EQ(written.exit_code, 1) << written.err;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_NE(written.err.find(lock + ": Is a directory"), std::string::npos) << written.err;
  const std::vector<SeenCard> cards = CardsSeen(sim_);
  for (const SeenCard &card : cards) EXPECT_EQ(card.data, "") << "no card written";
  EXPECT_EQ(StoredValue(), "41");
}

// The CLI killed with SIGKILL at different moments of a running series and started again: the
// cards may show gaps in the series, but no value is on two cards.
TEST_F(CliSeriesTest, KilledAnywhereInASeriesNoValueIsOnTwoCards) {
  ASSERT_EQ(sim_.Control("feed 40 leave=150 gap=50"), "ok");
  for (const int run_ms : {350, 480, 610, 730, 870}) {
    const pid_t cli = kovra_test::StartCli(OnReader({"write", "--cycle"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(run_ms));
    EXPECT_EQ(kovra_test::StopProgram(cli, SIGKILL), -1);
  }
  const pid_t last = kovra_test::StartCli(OnReader({"write", "--cycle"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // SIGINT ends it normally; 1 instead of 0 when a card left the reader during its write (the
  // cards stay only 150 ms, and a loaded machine is slower than that now and then).
  const int last_exit = kovra_test::StopProgram(last, SIGINT);
  EXPECT_TRUE(last_exit == 0 || last_exit == 1) << last_exit;

  std::map<std::string, std::string> card_of_data;
  size_t written = 0;
  for (const SeenCard &card : CardsSeen(sim_)) {
    if (card.data.empty() || card.data == CardData("")) continue;
    ++written;
    const auto [at, fresh] = card_of_data.emplace(card.data, card.uid);
    EXPECT_TRUE(fresh) << "the data " << card.data << " is on " << at->second << " and "
                       << card.uid;
  }
  EXPECT_GE(written, 3u);
  // The settings name a value no card carries yet.
  EXPECT_EQ(card_of_data.count(CardData(StoredValue())), 0u);
}

// Two production lines on one series: two readers, two CLI processes, one settings folder (and,
// the same again, one job file). Each card gets a value of its own: the value is reserved under a
// lock of the store, and a process whose store was counted on by the other takes the stored value.
TEST_F(CliSeriesTest, TwoProcessesSharingAStoreNeverWriteOneValueTwice) {
  const std::string job_file = dir_.path() + "/shared.KVMFDat";
  ASSERT_EQ(RunCli(With(With(Config(), {"job", "set", job_file}), kExampleJob)).exit_code, 0);
  const std::vector<std::vector<std::string>> sources = {{}, {"--job", job_file}};
  for (const std::vector<std::string> &source : sources) {
    SCOPED_TRACE(source.empty() ? "settings" : "job file");
    kovra_test::SimProcess first_sim{KOVRA_SIM_PATH, {}};
    kovra_test::SimProcess second_sim{KOVRA_SIM_PATH, {}};
    const auto run_on = [&](kovra_test::SimProcess &sim) {
      return std::async(std::launch::async, [&, pty = sim.pty()] {
        return RunCli(With(
            With(Config(), {"--port", pty, "--baud", "115200", "--json", "write", "--count", "5"}),
            source));
      });
    };
    auto first = run_on(first_sim);
    auto second = run_on(second_sim);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));  // both open their ports
    ASSERT_EQ(first_sim.Control("feed 5 leave=300 gap=100"), "ok");
    ASSERT_EQ(second_sim.Control("feed 5 leave=300 gap=100"), "ok");
    const CliRun runs[] = {first.get(), second.get()};

    std::map<std::string, std::string> line_of_value;
    size_t cards_written = 0;
    for (size_t line = 0; line < 2; ++line) {
      EXPECT_EQ(runs[line].exit_code, 0) << runs[line].err;
      for (const QJsonObject &card : JsonLines(runs[line].out)) {
        if (!card["ok"].toBool()) continue;
        ++cards_written;
        const std::string value = card["value"].toString().toStdString();
        const auto [at, fresh] = line_of_value.emplace(value, std::to_string(line));
        EXPECT_TRUE(fresh) << "value " << value << " written by both lines";
      }
    }
    EXPECT_EQ(cards_written, 10u);
    // What the cards hold agrees with what was reported.
    for (kovra_test::SimProcess *sim : {&first_sim, &second_sim}) {
      for (const SeenCard &card : CardsSeen(*sim)) {
        const bool reported =
            std::any_of(line_of_value.begin(), line_of_value.end(),
                        [&](const auto &entry) { return CardData(entry.first) == card.data; });
        EXPECT_TRUE(reported) << card.uid << " holds " << card.data;
      }
    }
  }
}

// A reader that falls silent in the middle of a write: the repair pass asks for the card, and
// without a terminal --wait-card is the deadline of that card, however long each look at the
// silent reader takes; a signal ends the card within a second or two. Either way the card's state
// is reported and the exit code says it failed.
TEST_F(CliSeriesTest, ASilentReaderEndsTheCardByItsDeadlineOrBySignal) {
  struct Case {
    const char *name;
    const char *wait_card;
    int signal_after_ms;  // 0: no signal
    int must_end_within_ms;
  };
  const Case cases[] = {{"deadline", "3", 0, 15000}, {"SIGTERM", "600", 4000, 7000}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    kovra_test::SimProcess slow_sim{KOVRA_SIM_PATH, {"--per-command-us", "300000"}};
    ASSERT_EQ(slow_sim.Control("place desfire").rfind("ok", 0), 0u);
    const std::string output = dir_.path() + "/" + c.name + ".out";
    const auto started = std::chrono::steady_clock::now();
    const pid_t cli =
        kovra_test::StartCli(With(Config(), {"--port", slow_sim.pty(), "--baud", "115200", "--json",
                                             "write", "--wait-card", c.wait_card}),
                             output);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the write is under way
    ASSERT_EQ(slow_sim.Control("fault silent"), "ok");
    if (c.signal_after_ms > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.signal_after_ms - 1500));
      kill(cli, SIGTERM);
    }
    const int exit_code = kovra_test::WaitProgram(cli, c.must_end_within_ms);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    EXPECT_EQ(exit_code, 1) << "took " << took.count() << " ms";
    std::ifstream file(output);
    const std::string out((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(out.find("\"ok\":false"), std::string::npos) << out;
  }
}

// The reader's link dropped during a write cycle: the loss is said at once, naming the port, and
// the series ends with an exit code that says it had failures.
TEST_F(CliSeriesTest, ALostReaderIsReportedAtOnce) {
  const std::string output = dir_.path() + "/lost.out";
  const pid_t cli = kovra_test::StartCli(OnReader({"--lang", "de", "write", "--cycle"}), output);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the cycle runs
  ASSERT_EQ(sim_.Control("fault drop-link"), "ok");
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_EQ(kovra_test::StopProgram(cli, SIGINT), 1);
  std::ifstream file(output);
  const std::string out((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(out.find("Die Verbindung zum Leser an " + sim_.pty() + " ist unterbrochen"),
            std::string::npos)
      << out;
}

// A script that stops reading (`| head -1`) must not kill a series halfway through a card: with
// stdout a pipe nobody reads, all cards are written. Read back without --json, the values read
// come on stdout, one a line.
TEST_F(CliSeriesTest, AClosedStdoutDoesNotEndASeriesAndReadPrintsTheValues) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  close(out[0]);  // nobody will read
  std::vector<std::string> arguments = OnReader({"--json", "write", "--count", "3"});
  arguments.insert(arguments.begin(), QUILLMATE_CLI_PATH);
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  ASSERT_EQ(sim_.Control("feed 3 leave=500 gap=300"), "ok");
  EXPECT_EQ(kovra_test::WaitProgram(pid, 30000), 0);
  EXPECT_EQ(StoredValue(), "44");

  // The last written card is taken away first, then all three come back to be read.
  for (int i = 0; i < 100 && !FieldEmpty(sim_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  auto reading = std::async(std::launch::async, [&] {
    return RunCli(OnReader({"read", "--count", "3", "--wait-card", "5"}));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  ASSERT_EQ(sim_.Control("again 3 leave=900 gap=200"), "ok 3");
  const CliRun read = reading.get();
  EXPECT_EQ(read.exit_code, 0) << read.err;
  EXPECT_EQ(read.out, "41\n42\n43\n");
}

}  // namespace

namespace {

// The disk of the log fills up during a series (here: the file size limit the CLI inherits, which
// cuts a write short the way a full disk does). The first card holds its value but has no record:
// it is no success, the series ends with exit code 1 before a second card is written, the log keeps
// no stub line, and the card's value stays given out.
TEST_F(CliSeriesTest, ALogThatFillsUpEndsTheSeriesWithoutAStubLine) {
  const std::string log = dir_.path() + "/write.log";
  std::string lines;
  // Long enough that the file size limit below still lets the series' ledger (a few pages of
  // 4 KiB) take its rows: it is the log that fills up.
  for (int i = 1; i <= 8000; ++i) lines += std::to_string(i) + "\tearlier card\n";
  {
    std::ofstream file(log);
    file << lines;
  }
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = old_limit;
  tight.rlim_cur = static_cast<rlim_t>(lines.size() + 20);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  auto series = std::async(std::launch::async, [&] {
    return RunCli(OnReader({"--json", "write", "--count", "3", "--log", log}));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the CLI opens the port
  setrlimit(RLIMIT_FSIZE, &old_limit);  // the CLI runs under the limit it started with
  std::signal(SIGXFSZ, old_handler);
  ASSERT_EQ(sim_.Control("feed 3 leave=500 gap=300"), "ok");
  const CliRun written = series.get();

  EXPECT_EQ(written.exit_code, 1) << written.err;
  const std::vector<QJsonObject> objects = JsonLines(written.out);
  ASSERT_FALSE(objects.empty()) << written.out;
  for (const QJsonObject &object : objects) EXPECT_FALSE(object["ok"].toBool()) << written.out;
  EXPECT_NE(written.out.find("aber nicht protokolliert"), std::string::npos) << written.out;

  std::ifstream file(log);
  const std::string after((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(after, lines);
  size_t cards_written = 0;
  for (const SeenCard &card : CardsSeen(sim_)) {
    if (!card.data.empty() && card.data != CardData("")) ++cards_written;
  }
  EXPECT_EQ(cards_written, 1u);
  EXPECT_EQ(StoredValue(), "42");
}

}  // namespace
