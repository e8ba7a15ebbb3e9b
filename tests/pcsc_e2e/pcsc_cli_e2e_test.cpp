// The library and quillmate-cli on a PC/SC reader, through a real pcsc-lite daemon with the
// simulator's DESFire card behind the vpcd driver: the reader is listed, a series is written
// (verified), read back and a card formatted; a card pulled in the middle of a write is repaired
// as on the maker's readers; a daemon that stops in the middle of a series is a lost link,
// reported within a bound.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kovra.h"
#include "support/cli_run.h"
#include "support/pcscd_rig.h"
#include "support/sim_cards_seen.h"
#include "support/sim_process.h"

namespace {

using kovra_test::CliRun;
using kovra_test::RunCli;
using std::chrono::milliseconds;

constexpr char kCardKey[] = "00112233445566778899AABBCCDDEEFF";
constexpr char kAppKey[] = "0102030405060708090A0B0C0D0E0F10";

using kovra_test::CardsSeen;
using kovra_test::SeenCard;

std::vector<QJsonObject> JsonLines(const std::string &out) {
  std::vector<QJsonObject> objects;
  for (const QByteArray &line : QByteArray::fromStdString(out).split('\n')) {
    if (!line.isEmpty()) objects.push_back(QJsonDocument::fromJson(line).object());
  }
  return objects;
}

// A value of the job as a card carries it: ASCII, zero-padded to the file's 16 bytes.
std::string CardData(const std::string &value) {
  QByteArray bytes = QByteArray::fromStdString(value);
  bytes.resize(16, '\0');
  return bytes.toHex().toUpper().toStdString();
}

std::string ReadFile(const std::string &path) {
  std::ifstream file(path);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

class PcscCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = kovra_test::PcscdRig::Missing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    kovra_test::PcscdRigOptions options;
    options.sim_program = KOVRA_SIM_PATH;
    rig_ = std::make_unique<kovra_test::PcscdRig>(options);
    std::string error;
    ASSERT_TRUE(rig_->Start(&error)) << error;
    port_ = "PCSC: " + rig_->ReaderName();
    SetJob(dir_.path());
  }

  // Stores the example job in the settings folder `folder`.
  static void SetJob(const std::string &folder) {
    const CliRun job =
        RunCli({"--config", folder, "job", "set", "AppID=A1B2C3", "FileID=1", "FileMode=0",
                "KeyAnzahl=2", "ReadKeyNr=1", "WriteKeyNr=1", "ReadWriteKeyNr=1", "Byteanzahl=16",
                "Zahlenformat=1", "Darstellung=1", "AutoIncrement=1", "Wert=41",
                std::string("CardKey=") + kCardKey, std::string("AppKey=") + kAppKey});
    ASSERT_EQ(job.exit_code, 0) << job.err;
  }

  std::vector<std::string> Args(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--config", dir_.path(), "--lang", "de"});
    return arguments;
  }
  CliRun Cli(std::vector<std::string> arguments) { return RunCli(Args(std::move(arguments))); }
  std::vector<std::string> OnReader(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--port", port_});
    return Args(std::move(arguments));
  }
  std::string StoredValue(const std::string &folder = "") {
    const std::string job =
        "\n" + RunCli({"--config", folder.empty() ? dir_.path() : folder, "job", "show"}).out;
    const size_t at = job.find("\nWert=");
    return at == std::string::npos ? "" : job.substr(at + 6, job.find('\n', at + 1) - at - 6);
  }
  std::string State() { return rig_->SimControl("state"); }
  bool FieldEmpty() {
    const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(State())).object();
    return state["field"]["card"].isNull();
  }
  void WaitForEmptyField() {
    for (int i = 0; i < 250 && !FieldEmpty(); ++i) std::this_thread::sleep_for(milliseconds(20));
  }

  kovra_test::TempDir dir_;
  std::unique_ptr<kovra_test::PcscdRig> rig_;
  std::string port_;
};

TEST_F(PcscCliTest, TheLibraryListsTheReaderAndTheCliWritesAVerifiedSeriesAndReadsItBack) {
  char names[4096];
  const int used = KOVRA_ListPcscPorts(names, sizeof names);
  ASSERT_GT(used, 1) << rig_->DaemonLog();
  EXPECT_EQ(std::string(names), port_);  // the rig's daemon has this one reader

  auto series = std::async(std::launch::async, [&] {
    return RunCli(OnReader({"--json", "write", "--verify", "--count", "3"}));
  });
  std::this_thread::sleep_for(milliseconds(1000));  // the CLI opens the reader
  ASSERT_EQ(rig_->SimControl("feed 3 leave=1500 gap=500"), "ok");
  const CliRun written = series.get();
  EXPECT_EQ(written.exit_code, 0) << written.err << rig_->DaemonLog();

  const std::vector<std::string> values = {"41", "42", "43"};
  const std::vector<QJsonObject> objects = JsonLines(written.out);
  const std::vector<SeenCard> cards = CardsSeen(State());
  ASSERT_EQ(objects.size(), 3u) << written.out << written.err;
  ASSERT_GE(cards.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(objects[i]["ok"].toBool()) << written.out;
    EXPECT_EQ(objects[i]["value"].toString().toStdString(), values[i]);
    EXPECT_EQ(objects[i]["uid"].toString().toStdString(), cards[i].uid);
    EXPECT_EQ(cards[i].data, CardData(values[i])) << i;
  }
  EXPECT_EQ(StoredValue(), "44");

  WaitForEmptyField();
  auto reading = std::async(std::launch::async, [&] {
    return RunCli(OnReader({"--json", "read", "--count", "3"}));
  });
  std::this_thread::sleep_for(milliseconds(1000));
  ASSERT_EQ(rig_->SimControl("again 3 leave=1500 gap=500"), "ok 3");
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

// The reader's identity names the PC/SC reader: what the window's title and the CLI's info show.
TEST_F(PcscCliTest, TheIdentityNamesThePcscReader) {
  const CliRun info = RunCli(OnReader({"--json", "info"}));
  EXPECT_EQ(info.exit_code, 0) << info.err;
  EXPECT_EQ(info.out,
            "{\"device\":\"PC/SC Reader\",\"firmware\":\"0\",\"op\":\"info\","
            "\"port\":\"" +
                port_ + "\",\"version\":\"1C10\"}\n");
}

TEST_F(PcscCliTest, ACardWrittenOnAPcscReaderIsFormatted) {
  constexpr char kUid[] = "04112233445566";
  ASSERT_EQ(rig_->SimControl(std::string("place desfire uid=") + kUid),
            std::string("ok uid=") + kUid);
  const CliRun write = RunCli(OnReader({"write"}));
  ASSERT_EQ(write.exit_code, 0) << write.err << write.out;
  ASSERT_NE(State().find("\"aid\":\"A1B2C3\""), std::string::npos);

  const CliRun format = RunCli(OnReader({"--json", "format", "--yes"}));
  EXPECT_EQ(format.exit_code, 0) << format.err;
  EXPECT_EQ(format.out, std::string("{\"lines\":[\"Karte wurde gelöscht! (Karte ") + kUid +
                            ")\"],\"ok\":true,\"op\":\"format\",\"uid\":\"" + kUid + "\"}\n");
  EXPECT_NE(State().find("\"applications\":[]"), std::string::npos) << State();
}

// What one write did when its card left after its K-th answered exchange and came back: the
// CLI's exit code and report, the data on the card and the value the series goes on with.
struct PulledCardOutcome {
  int exit_code = -1;
  bool ok = false;
  std::string value;
  std::string card_data;
  std::string next_value;
};

// The card leaves in the middle of the write and the same card is laid again: the PC/SC reader
// ends each case as the maker's serial reader does (the repair rules do not depend on the reader),
// and a value is never on two cards nor reported written when the card does not hold it.
TEST_F(PcscCliTest, ACardPulledInTheMiddleOfAWriteEndsAsOnTheSerialReader) {
  kovra_test::SimProcess serial_sim{KOVRA_SIM_PATH, {}};
  ASSERT_FALSE(serial_sim.pty().empty());
  kovra_test::TempDir serial_dir;  // the serial reader's series has settings of its own
  SetJob(serial_dir.path());
  // One run on one reader; `control` reaches that reader's simulator.
  const auto run = [&](const std::function<std::string(const std::string &)> &control,
                       const std::string &folder, const std::vector<std::string> &port,
                       const std::string &uid, int exchanges) {
    PulledCardOutcome outcome;
    EXPECT_EQ(control("place desfire uid=" + uid), "ok uid=" + uid);
    EXPECT_EQ(control("fault remove-after " + std::to_string(exchanges)), "ok");
    std::vector<std::string> arguments = {"--config", folder, "--lang", "de"};
    arguments.insert(arguments.end(), port.begin(), port.end());
    arguments.insert(arguments.end(), {"--json", "write", "--wait-card", "20"});
    auto writing = std::async(std::launch::async, [&] { return RunCli(arguments); });
    for (int i = 0; i < 250; ++i) {
      const QJsonObject state =
          QJsonDocument::fromJson(QByteArray::fromStdString(control("state"))).object();
      if (state["field"]["card"].isNull()) break;
      std::this_thread::sleep_for(milliseconds(20));
    }
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(control("fault none"), "ok");
    EXPECT_EQ(control("again 1 leave=8000"), "ok 1");
    const CliRun written = writing.get();
    outcome.exit_code = written.exit_code;
    const std::vector<QJsonObject> objects = JsonLines(written.out);
    EXPECT_EQ(objects.size(), 1u) << written.out << written.err;
    if (!objects.empty()) {
      outcome.ok = objects[0]["ok"].toBool();
      outcome.value = objects[0]["value"].toString().toStdString();
      EXPECT_EQ(objects[0]["uid"].toString().toStdString(), uid) << written.out;
    }
    const std::vector<SeenCard> cards = CardsSeen(control("state"));
    if (!cards.empty()) outcome.card_data = cards.back().data;
    outcome.next_value = StoredValue(folder);
    EXPECT_EQ(control("remove").rfind("ok", 0), 0u);
    return outcome;
  };
  const auto on_serial = [&](const std::string &command) { return serial_sim.Control(command); };
  const auto on_pcsc = [&](const std::string &command) { return rig_->SimControl(command); };

  // Pulled before the card was changed the write fails and its value stays for the next card;
  // pulled once it was changed, the repair pass finishes it when it comes back.
  const struct {
    int exchanges;
    bool finished;
  } cases[] = {{2, false}, {4, false}, {9, true}, {14, true}};
  for (const auto &c : cases) {
    const int exchanges = c.exchanges;
    SCOPED_TRACE("removed after exchange " + std::to_string(exchanges));
    const std::string uid =
        std::string(exchanges < 10 ? "0400000000000" : "040000000000") + std::to_string(exchanges);
    const PulledCardOutcome serial =
        run(on_serial, serial_dir.path(), {"--port", serial_sim.pty(), "--baud", "115200"}, uid,
            exchanges);
    const PulledCardOutcome pcsc = run(on_pcsc, dir_.path(), {"--port", port_}, uid, exchanges);

    EXPECT_EQ(pcsc.exit_code, serial.exit_code);
    EXPECT_EQ(pcsc.ok, serial.ok);
    EXPECT_EQ(pcsc.value, serial.value);
    EXPECT_EQ(pcsc.card_data, serial.card_data);
    EXPECT_EQ(pcsc.next_value, serial.next_value);
    EXPECT_EQ(pcsc.ok, c.finished);
    if (pcsc.ok) {
      EXPECT_EQ(pcsc.card_data, CardData(pcsc.value));
    }
  }
}

// pcscd stops while a write cycle runs: the CLI says at once that the link to the reader is broken,
// naming the port, and the series ends with the exit code of a failed run.
TEST_F(PcscCliTest, ADaemonStoppedInTheMiddleOfASeriesIsALostLinkReported) {
  const std::string output = dir_.path() + "/lost.out";
  const pid_t cli = kovra_test::StartCli(OnReader({"write", "--cycle"}), output);
  std::this_thread::sleep_for(milliseconds(1000));  // the cycle runs
  ASSERT_EQ(rig_->SimControl("feed 1 leave=1500"), "ok");
  std::this_thread::sleep_for(milliseconds(2500));  // the card is written and gone
  rig_->StopDaemon();
  const std::string lost = "Die Verbindung zum Leser an " + port_ + " ist unterbrochen";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (ReadFile(output).find(lost) == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(50));
  }
  EXPECT_EQ(kovra_test::StopProgram(cli, SIGINT), 1);
  const std::string out = ReadFile(output);
  EXPECT_NE(out.find(lost), std::string::npos) << out;
  EXPECT_EQ(CardsSeen(State()).front().data, CardData("41")) << out;
}

}  // namespace
