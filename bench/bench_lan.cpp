// Network readers against the serial line, side by side, inside network namespaces the benchmark
// makes itself (support/lan_lab.h; skipped with a message where that is not allowed).
//
// BM_CommandRoundTrip: one reader command (KOVRA_GetSerialNumber) to the same in-process
// simulated reader over a pseudo-terminal and over TCP, alternating. Counters: serial_median_us,
// lan_median_us, lan_added_us (the difference; the goal is under 200) and lan_to_serial (ratio).
// BM_SearchTwoAdapters: KOVRA_SearchLanDevices over two local networks with two readers each.
// Counters: search_ms, budget_ms (500 ms per adapter), search_to_budget.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "kovra.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "support/lan_lab.h"
#include "support/lan_test_reader.h"

namespace {

using kovra_test::LanLab;
using kovra_test::LanReaderSetup;
using kovra_test::LanTestReader;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double MicrosecondsOf(int handle) {
  unsigned char serial[4];
  const auto start = Clock::now();
  if (KOVRA_GetSerialNumber(handle, serial, sizeof serial) != 4) return -1;
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

std::unique_ptr<LanTestReader> Reader(LanLab &lab, int network, int host) {
  kovra_test::NetNamespace *ns = lab.AddReaderHost(network, host);
  if (ns == nullptr) return nullptr;
  LanReaderSetup setup;
  setup.configured = {10, 231, static_cast<uint8_t>(network), static_cast<uint8_t>(host)};
  setup.name = "BENCH" + std::to_string(network) + std::to_string(host);
  auto reader = std::make_unique<LanTestReader>(*ns, LanLab::ReaderAddress(network, host), setup);
  return reader->Running() ? std::move(reader) : nullptr;
}

void BM_CommandRoundTrip(benchmark::State &state) {
  LanLab lab;
  if (!lab.Skipped().empty()) {
    state.SkipWithError(lab.Skipped().c_str());
    return;
  }
  kovra_sim::SimReader serial_reader;
  kovra_sim::PtyServer pty(serial_reader);
  auto lan_reader = lab.AddNetwork(1) ? Reader(lab, 1, 2) : nullptr;
  if (!pty.Start() || !lan_reader) {
    state.SkipWithError("could not start the readers");
    return;
  }
  const int serial = KOVRA_OpenPort(pty.Path().c_str(), 115200, 500);
  const int lan = KOVRA_OpenPort("10.231.1.2", 0, 500);
  if (serial <= 0 || lan <= 0) {
    state.SkipWithError("could not open the readers");
    return;
  }
  std::vector<double> serial_us;
  std::vector<double> lan_us;
  for (auto _ : state) {
    serial_us.push_back(MicrosecondsOf(serial));
    lan_us.push_back(MicrosecondsOf(lan));
  }
  const double serial_median = Median(serial_us);
  const double lan_median = Median(lan_us);
  state.counters["serial_median_us"] = serial_median;
  state.counters["lan_median_us"] = lan_median;
  state.counters["lan_added_us"] = lan_median - serial_median;
  state.counters["lan_to_serial"] = serial_median > 0 ? lan_median / serial_median : 0;
  KOVRA_ClosePort(serial);
  KOVRA_ClosePort(lan);
}
BENCHMARK(BM_CommandRoundTrip)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_SearchTwoAdapters(benchmark::State &state) {
  LanLab lab;
  if (!lab.Skipped().empty()) {
    state.SkipWithError(lab.Skipped().c_str());
    return;
  }
  std::vector<std::unique_ptr<LanTestReader>> readers;
  for (int network : {1, 2}) {
    if (!lab.AddNetwork(network)) break;
    for (int host : {2, 3}) readers.push_back(Reader(lab, network, host));
  }
  if (readers.size() != 4 || std::find(readers.begin(), readers.end(), nullptr) != readers.end()) {
    state.SkipWithError("could not start the readers");
    return;
  }
  std::vector<double> search_ms;
  for (auto _ : state) {
    char buffer[512];
    const auto start = Clock::now();
    if (KOVRA_SearchLanDevices(buffer, sizeof buffer) != 4 * 17 + 1) {
      state.SkipWithError("the search did not list the four readers");
    }
    search_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  constexpr double kBudgetMs = 2 * 500;
  state.counters["search_ms"] = Median(search_ms);
  state.counters["budget_ms"] = kBudgetMs;
  state.counters["search_to_budget"] = Median(search_ms) / kBudgetMs;
  readers.clear();
}
BENCHMARK(BM_SearchTwoAdapters)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
