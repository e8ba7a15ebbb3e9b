// Finding readers and talking to one over HID, against the fake hidapi library of the tests
// (tests/hid/fake_hidapi.cpp) and kovra-sim in its own process.
// BM_ListAllPorts: one call each of KOVRA_ListComPorts, KOVRA_ListUsbPorts and KOVRA_ListBtPorts
// with a dozen HID readers present (the goal: under 50 ms), and KOVRA_ListUsbPorts alone.
// BM_RoundTrip: one command (the reader's serial number) through the serial transport on the
// simulator's pseudo-terminal (arg 0) and through the HID transport whose reports the fake carries
// to the same kind of pseudo-terminal (arg 1), side by side. Counter: roundtrip_median_us.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "kovra.h"
#include "serial_number_timing.h"
#include "support/sim_process.h"

namespace {

const bool kFakeHidapi = setenv("KOVRA_HIDAPI_LIBRARY", FAKE_HIDAPI_PATH, 1) == 0;

// Writes the fake's device list and points the fake at it.
void UseDevices(const std::string &lines) {
  const std::string file = "/tmp/kovra-bench-hid-" + std::to_string(getpid());
  std::ofstream(file) << lines;
  setenv("FAKE_HIDAPI_CONFIG", file.c_str(), 1);
}

void BM_ListAllPorts(benchmark::State &state) {
  UseDevices("device vid=2e3c pid=0101 serial=3105-0000 count=12\n");
  std::vector<char> buffer(16384);
  const int size = static_cast<int>(buffer.size());
  for (auto _ : state) {
    if (state.range(0) == 0) {
      benchmark::DoNotOptimize(KOVRA_ListComPorts(buffer.data(), size));
      benchmark::DoNotOptimize(KOVRA_ListBtPorts(buffer.data(), size));
    }
    if (KOVRA_ListUsbPorts(buffer.data(), size) < 12 * 13) state.SkipWithError("readers missing");
  }
}
BENCHMARK(BM_ListAllPorts)->ArgName("usb_only")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RoundTrip(benchmark::State &state) {
  const bool hid = state.range(0) == 1;
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, {});
  std::string name = sim.pty();
  if (hid) {
    UseDevices("device vid=2e3c pid=0101 serial=3105-1 input=65 output=65 sim=" + sim.pty() + "\n");
    name = "3105-1 HID";
  }
  const int handle = KOVRA_OpenPort(name.c_str(), 115200, 500);
  if (handle <= 0) {
    state.SkipWithError("could not open the reader");
    return;
  }
  std::vector<double> round_trips_us = kovra_bench::TimeSerialNumberCalls(state, handle);
  std::sort(round_trips_us.begin(), round_trips_us.end());
  state.counters["roundtrip_median_us"] = round_trips_us[round_trips_us.size() / 2];
  KOVRA_ClosePort(handle);
}
BENCHMARK(BM_RoundTrip)
    ->ArgName("hid")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
