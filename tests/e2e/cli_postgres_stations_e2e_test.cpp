// Four stations on one series in PostgreSQL: four quillmate-cli processes, each on its own
// kovra-sim with fed cards, all on one database of the test's own server. Stations are killed with
// SIGKILL at random moments and started again, and the server is stopped and started in the
// middle. Afterwards every value is on at most one card, every card's value is in the ledger
// (with its UID once the card was finished), and what a killed station left is marked a gap.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_run.h"
#include "support/postgres_server.h"
#include "support/sim_process.h"

namespace {

using kovra_test::RunCli;
using kovra_test::TempDir;

const std::vector<std::string> kExampleJob = {
    "AppID=A1B2C3",   "FileID=1",      "FileMode=0",       "KeyAnzahl=2",
    "ReadKeyNr=1",    "WriteKeyNr=1",  "ReadWriteKeyNr=1", "Byteanzahl=16",
    "Zahlenformat=1", "Darstellung=1", "AutoIncrement=1",  "Wert=41"};

struct CardOnReader {
  std::string uid;    // as the simulator names it
  std::string value;  // the ASCII text of its first file up to the padding; empty when unwritten
};

// Every card a simulator has seen, with the value its first file holds.
std::vector<CardOnReader> CardsOf(kovra_test::SimProcess &sim) {
  const QJsonObject state =
      QJsonDocument::fromJson(QByteArray::fromStdString(sim.Control("state"))).object();
  QJsonArray cards = state["history"].toArray();
  if (state["field"]["card"].isObject()) cards.append(state["field"]["card"]);
  std::vector<CardOnReader> seen;
  for (const QJsonValue &entry : cards) {
    CardOnReader card{entry["uid"].toString().toStdString(), {}};
    for (const QJsonValue &application : entry["card"]["applications"].toArray()) {
      for (const QJsonValue &file : application["files"].toArray()) {
        QByteArray data = QByteArray::fromHex(file["data"].toString().toLatin1());
        if (const qsizetype end = data.indexOf('\0'); end >= 0) data.truncate(end);
        if (card.value.empty()) card.value = data.toStdString();
      }
    }
    seen.push_back(card);
  }
  return seen;
}

struct LedgerRow {
  std::string uid;  // hex
  std::string result;
  bool reissue = false;
};

class CliPostgresStationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server_.Missing().empty()) GTEST_SKIP() << server_.Missing();
    ASSERT_TRUE(server_.Failure().empty()) << server_.Failure();
    ASSERT_TRUE(server_.CreateDatabase("line"));
  }

  // The arguments of one station's write cycle on `pty`, its settings in `config`: every station
  // has settings of its own (another PC) and names the same series; while the server is away the
  // cycle waits for it.
  std::vector<std::string> Station(const std::string &config, const std::string &pty) {
    return {"--config", config,   "--port",      pty,
            "--baud",   "115200", "--series-db", server_.Conninfo("line"),
            "--series", "line 2", "--wait-db",   "10",
            "--json",   "write",  "--cycle"};
  }

  // The ledger's rows by value, read with psql (not with the program under test).
  std::multimap<std::string, LedgerRow> Ledger() {
    std::multimap<std::string, LedgerRow> rows;
    std::istringstream lines(server_
                                 .Psql("SELECT value, upper(encode(uid, 'hex')), result, reissue "
                                       "FROM quillmate_ledger ORDER BY id",
                                       "line")
                                 .value_or(""));
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, '|');) fields.push_back(field);
      if (fields.size() == 4)
        rows.emplace(fields[0], LedgerRow{fields[1], fields[2], fields[3] == "t"});
    }
    return rows;
  }

  kovra_test::PostgresServer server_;
};

TEST_F(CliPostgresStationsTest, FourStationsKilledAtRandomNeverWriteOneValueTwice) {
  constexpr int kStations = 4;
  const unsigned seed = static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count() & 0xFFFFFFFF);
  RecordProperty("seed", std::to_string(seed));
  SCOPED_TRACE("seed " + std::to_string(seed));

  std::vector<std::unique_ptr<TempDir>> configs;
  std::vector<std::unique_ptr<kovra_test::SimProcess>> sims;
  for (int station = 0; station < kStations; ++station) {
    configs.push_back(std::make_unique<TempDir>());
    std::vector<std::string> job = {"--config", configs.back()->path(), "job", "set"};
    job.insert(job.end(), kExampleJob.begin(), kExampleJob.end());
    const kovra_test::CliRun set = RunCli(job);
    ASSERT_EQ(set.exit_code, 0) << set.err;
    sims.push_back(
        std::make_unique<kovra_test::SimProcess>(KOVRA_SIM_PATH, std::vector<std::string>{}));
    ASSERT_FALSE(sims.back()->pty().empty());
    ASSERT_EQ(sims.back()->Control("feed 40 leave=700 gap=100"), "ok");
  }

  // Each station: three runs killed with SIGKILL after a random time, then one ended by SIGINT.
  // Between the first and the second round the server stops for a second.
  std::vector<std::thread> stations;
  std::vector<int> last_exit(kStations, -3);
  for (int station = 0; station < kStations; ++station) {
    stations.emplace_back([&, station] {
      std::mt19937 random(seed + static_cast<unsigned>(station));
      std::uniform_int_distribution<int> run_ms(300, 1500);
      const std::string output = configs[station]->path() + "/cycle.out";
      for (int round = 0; round < 3; ++round) {
        const pid_t cli =
            kovra_test::StartCli(Station(configs[station]->path(), sims[station]->pty()), output);
        std::this_thread::sleep_for(std::chrono::milliseconds(run_ms(random)));
        kovra_test::StopProgram(cli, SIGKILL);
      }
      const pid_t cli =
          kovra_test::StartCli(Station(configs[station]->path(), sims[station]->pty()), output);
      std::this_thread::sleep_for(std::chrono::milliseconds(5000));
      last_exit[station] = kovra_test::StopProgram(cli, SIGINT);
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(900));
  server_.Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  ASSERT_TRUE(server_.Start()) << server_.Failure();
  for (std::thread &station : stations) station.join();
  for (int station = 0; station < kStations; ++station) {
    // 1 when a card left the reader during its write (a loaded machine is slower than the cards now
    // and then).
    std::ifstream output(configs[station]->path() + "/cycle.out");
    const std::string said((std::istreambuf_iterator<char>(output)),
                           std::istreambuf_iterator<char>());
    EXPECT_TRUE(last_exit[station] == 0 || last_exit[station] == 1)
        << "station " << station << ": " << last_exit[station] << "\n"
        << said;
  }

  const std::multimap<std::string, LedgerRow> ledger = Ledger();
  std::map<std::string, std::string> card_of_value;
  size_t written = 0;
  for (int station = 0; station < kStations; ++station) {
    for (const CardOnReader &card : CardsOf(*sims[station])) {
      if (card.value.empty()) continue;
      ++written;
      const auto [at, fresh] = card_of_value.emplace(card.value, card.uid);
      EXPECT_TRUE(fresh) << "the value " << card.value << " is on " << at->second << " and "
                         << card.uid;
      // The ledger holds the value once; once the card was finished, the row names it.
      const auto [first, end] = ledger.equal_range(card.value);
      int holding = 0;
      for (auto row = first; row != end; ++row) {
        if (row->second.result == "returned") continue;
        ++holding;
        EXPECT_FALSE(row->second.reissue);
        if (row->second.result == "written" || row->second.result == "verified")
          EXPECT_EQ(row->second.uid, card.uid) << card.value;
        else
          EXPECT_TRUE(row->second.result == "reserved" || row->second.result == "failed")
              << card.value << ": " << row->second.result;
      }
      EXPECT_EQ(holding, 1) << "value " << card.value << " on " << card.uid;
    }
  }
  EXPECT_GE(written, 8u);
  // Every row that says a card holds its value is borne out by that card: it holds the value, or
  // (a station killed after the write met the card again and gave it a new value, saying so) a
  // later value whose row names the same card.
  std::map<std::string, std::string> value_on_card;
  for (const auto &[value, uid] : card_of_value) value_on_card[uid] = value;
  size_t gaps = 0;
  for (const auto &[value, row] : ledger) {
    if (row.result == "written" || row.result == "verified") {
      const auto card = value_on_card.find(row.uid);
      ASSERT_NE(card, value_on_card.end()) << "the ledger names " << row.uid << " for " << value;
      if (card->second != value) {
        const auto [first, end] = ledger.equal_range(card->second);
        const std::string &uid = row.uid;  // a structured binding cannot be captured in C++20
        EXPECT_TRUE(
            std::any_of(first, end, [&](const auto &later) { return later.second.uid == uid; }))
            << "the ledger says " << row.uid << " holds " << value << ", it holds " << card->second;
      }
    }
    if (row.result == "reserved" || row.result == "failed") ++gaps;
  }
  RecordProperty("cards", static_cast<int>(written));
  RecordProperty("gaps", static_cast<int>(gaps));
}

}  // namespace
