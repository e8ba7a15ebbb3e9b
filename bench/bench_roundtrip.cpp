// One command round trip over a pseudo-terminal to kovra-sim running as its own process.
// Arg 0: the simulator answers at once (the bare cost of a pty and two processes); arg 1: the
// simulator's link model adds the time the bytes need on a 115200-baud line. Counters:
// roundtrip_median_us (wall time per command), library_cpu_us (processor time of this process, i.e.
// of the library's calling thread and port thread, per command) and library_share (library_cpu_us /
// mean round trip).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "kovra.h"
#include "serial_number_timing.h"
#include "support/sim_process.h"

namespace {

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_SerialNumberRoundTrip(benchmark::State &state) {
  std::vector<std::string> arguments;
  if (state.range(0) == 1) arguments = {"--link-baud", "115200"};
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, arguments);
  const int handle = KOVRA_OpenPort(sim.pty().c_str(), 115200, 500);
  if (handle <= 0) {
    state.SkipWithError("could not open the simulator's pty");
    return;
  }
  const double cpu_start = ProcessCpuSeconds();
  std::vector<double> round_trips_us = kovra_bench::TimeSerialNumberCalls(state, handle);
  const double cpu_us = (ProcessCpuSeconds() - cpu_start) * 1e6 / round_trips_us.size();
  double mean = 0;
  for (double t : round_trips_us) mean += t;
  mean /= static_cast<double>(round_trips_us.size());
  std::sort(round_trips_us.begin(), round_trips_us.end());
  state.counters["roundtrip_median_us"] = round_trips_us[round_trips_us.size() / 2];
  state.counters["library_cpu_us"] = cpu_us;
  state.counters["library_share"] = cpu_us / mean;
  KOVRA_ClosePort(handle);
}
BENCHMARK(BM_SerialNumberRoundTrip)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
