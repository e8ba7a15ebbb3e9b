// Finding readers and talking to one over each USB link, against the stand-in vendor libraries of
// the tests (fake hidapi, D2XX and USBXpress) and kovra-sim in its own process.
// BM_ListAllPorts: one call each of KOVRA_ListComPorts, KOVRA_ListUsbPorts and KOVRA_ListBtPorts
// with a dozen HID readers, a dozen FTDI readers and a dozen Bluetooth adapters present (the
// goal: under 50 ms), and KOVRA_ListUsbPorts alone.
// BM_RoundTrip: one command (the reader's serial number) through the serial transport on the
// simulator's pseudo-terminal (link 0), through HID (1), through the D2XX library (2) and through
// the Bluetooth module behind the USB bridge (3), each stand-in carrying the bytes to the same
// kind of pseudo-terminal, side by side. Counter: roundtrip_median_us.
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

const bool kFakes = setenv("KOVRA_HIDAPI_LIBRARY", FAKE_HIDAPI_PATH, 1) == 0 &&
                    setenv("KOVRA_D2XX_LIBRARY", FAKE_D2XX_PATH, 1) == 0 &&
                    setenv("KOVRA_SIUSBXP_LIBRARY", FAKE_SIUSBXP_PATH, 1) == 0;

// Writes a stand-in's device list and points it at it (`variable` names the stand-in).
void UseDevices(const std::string &lines, const char *variable = "FAKE_HIDAPI_CONFIG") {
  const std::string file =
      std::string("/tmp/kovra-bench-") + variable + "-" + std::to_string(getpid());
  std::ofstream(file) << lines;
  setenv(variable, file.c_str(), 1);
}

void BM_ListAllPorts(benchmark::State &state) {
  UseDevices("device vid=2e3c pid=0101 serial=3105-0000 count=12\n");
  UseDevices("device serial=3200-0000 count=12\n", "FAKE_D2XX_CONFIG");
  UseDevices("device serial=ULO-PN7341#00 count=12\n", "FAKE_SIUSBXP_CONFIG");
  std::vector<char> buffer(16384);
  const int size = static_cast<int>(buffer.size());
  for (auto _ : state) {
    if (state.range(0) == 0) {
      benchmark::DoNotOptimize(KOVRA_ListComPorts(buffer.data(), size));
      benchmark::DoNotOptimize(KOVRA_ListBtPorts(buffer.data(), size));
    }
    if (KOVRA_ListUsbPorts(buffer.data(), size) < 24 * 13) state.SkipWithError("readers missing");
  }
}
BENCHMARK(BM_ListAllPorts)->ArgName("usb_only")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RoundTrip(benchmark::State &state) {
  const int64_t link = state.range(0);
  kovra_test::SimProcess sim(
      KOVRA_SIM_PATH, link == 3 ? std::vector<std::string>{"--bt"} : std::vector<std::string>{});
  std::string name = sim.pty();
  if (link == 1) {
    UseDevices("device vid=2e3c pid=0101 serial=3105-1 input=65 output=65 sim=" + sim.pty() + "\n");
    name = "3105-1 HID";
  } else if (link == 2) {
    UseDevices("device serial=3105-2 sim=" + sim.pty() + "\n", "FAKE_D2XX_CONFIG");
    name = "3105-2";
  } else if (link == 3) {
    UseDevices("device serial=ULO-PN7341#0003 sim=" + sim.pty() + "\n", "FAKE_SIUSBXP_CONFIG");
    name = "ULO-PN7341#0003 BT";
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
    ->ArgName("link")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
