// Stations sharing one series in PostgreSQL, side by side with one station alone: each station is
// a kovra-sim on the 115200-baud line model with typical card times, fed cards (each leaving
// kLeaveMs after its last write, the next kGapMs later), and a quillmate-cli writing kCards cards
// with its values reserved in one database of the benchmark's own server (durable: fsync on).
//   BM_Stations/N  N stations at once. Counters: cards_per_minute (all stations together, from
//                  the first start to the last exit), and, for N > 1, vs_one_station: that against
//                  one station run just before in the same process (goal: at least 3.8 for four).
#include <benchmark/benchmark.h>

#include <QDir>
#include <QSettings>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_run.h"
#include "support/postgres_server.h"
#include "support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCards = 15;
constexpr int kLeaveMs = 150;
constexpr int kGapMs = 50;
constexpr int kCyclePeriodMs = 100;
constexpr int kRunBoundMs = 90000;

// A settings folder with the series' job (counting from 1) and the cycle period; false on failure.
bool PrepareStation(const kovra_test::TempDir &folder) {
  const kovra_test::CliRun set = kovra_test::RunCli(
      {"--config", folder.path(), "job", "set", "AppID=A1B2C3", "FileID=1", "FileMode=2",
       "KeyAnzahl=2", "ReadKeyNr=1", "WriteKeyNr=1", "ReadWriteKeyNr=1", "Byteanzahl=16",
       "Zahlenformat=1", "Darstellung=1", "AutoIncrement=1", "Wert=1",
       "CardKey=00112233445566778899AABBCCDDEEFF", "AppKey=A0A1A2A3A4A5A6A7A8A9AAABACADAEAF"});
  const QDir dir(QString::fromStdString(folder.path()));
  const QStringList files = dir.entryList({QStringLiteral("*.ini")}, QDir::Files);
  if (set.exit_code != 0 || files.size() != 1) return false;
  QSettings settings(dir.filePath(files.front()), QSettings::IniFormat);
  settings.setValue(QStringLiteral("Settings/ZyklusZeit"), kCyclePeriodMs);
  settings.sync();
  return settings.status() == QSettings::NoError;
}

// The arguments of one station writing kCards cards on `pty`.
std::vector<std::string> StationArguments(const std::string &config, const std::string &pty,
                                          const std::string &conninfo) {
  return {"--config", config,     "--port", pty,      "--baud", "115200",  "--series-db",
          conninfo,   "--series", "bench",  "--json", "write",  "--count", std::to_string(kCards)};
}

// Runs `stations` stations at once on database `database`; cards per minute of them all, or a
// negative number when a station failed.
double RunStations(kovra_test::PostgresServer &server, const std::string &database, int stations) {
  std::vector<std::unique_ptr<kovra_test::TempDir>> folders;
  std::vector<std::unique_ptr<kovra_test::SimProcess>> sims;
  for (int station = 0; station < stations; ++station) {
    folders.push_back(std::make_unique<kovra_test::TempDir>());
    if (!PrepareStation(*folders.back())) return -1;
    sims.push_back(std::make_unique<kovra_test::SimProcess>(
        KOVRA_SIM_PATH,
        std::vector<std::string>{"--link-baud", "115200", "--card-times", "typical"}));
    if (sims.back()->pty().empty()) return -1;
  }
  const Clock::time_point start = Clock::now();
  std::vector<pid_t> clis;
  for (int station = 0; station < stations; ++station) {
    clis.push_back(kovra_test::StartCli(
        StationArguments(folders[station]->path(), sims[station]->pty(), server.Conninfo(database)),
        folders[station]->path() + "/out.json"));
    // More cards than the count: a card that leaves before its write is done (a loaded machine)
    // counts as a failure, and the station goes on with the next.
    sims[station]->Control("feed " + std::to_string(3 * kCards) +
                           " leave=" + std::to_string(kLeaveMs) + " gap=" + std::to_string(kGapMs));
  }
  bool all_ok = true;
  for (int station = 0; station < stations; ++station) {
    if (kovra_test::WaitProgram(clis[station], kRunBoundMs) == 0) continue;
    all_ok = false;
    std::ifstream said(folders[station]->path() + "/out.json");
    std::fprintf(stderr, "station %d failed:\n%s\n", station,
                 std::string(std::istreambuf_iterator<char>(said), {}).c_str());
  }
  const double minutes = std::chrono::duration<double>(Clock::now() - start).count() / 60;
  if (!all_ok) return -1;
  return stations * kCards / minutes;
}

void BM_Stations(benchmark::State &state) {
  kovra_test::PostgresServer server(/*durable=*/true);
  if (!server.Missing().empty() || !server.Failure().empty()) {
    state.SkipWithError((server.Missing() + server.Failure()).c_str());
    return;
  }
  const int stations = static_cast<int>(state.range(0));
  for (auto _ : state) {
    server.CreateDatabase("alone");
    server.CreateDatabase("shared");
    const double one = stations > 1 ? RunStations(server, "alone", 1) : 0;
    const double all = RunStations(server, "shared", stations);
    if (one < 0 || all < 0) {
      state.SkipWithError("a station did not write its cards");
      return;
    }
    state.counters["cards_per_minute"] = all;
    if (stations > 1) {
      state.counters["one_station_cards_per_minute"] = one;
      state.counters["vs_one_station"] = all / one;
    }
    const std::string rows =
        server
            .Psql(
                "SELECT count(*) || '/' || count(DISTINCT value) FROM quillmate_ledger "
                "WHERE result IN ('written', 'verified')",
                "shared")
            .value_or("?");
    std::fprintf(stderr, "stations=%d ledger cards/distinct values: %s\n", stations, rows.c_str());
  }
}
BENCHMARK(BM_Stations)->Arg(4)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
