// The loop both round-trip benchmarks time: one KOVRA_GetSerialNumber per iteration.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "kovra.h"

namespace kovra_bench {

// Runs the benchmark's iterations on the open port; the wall time of each call in microseconds.
inline std::vector<double> TimeSerialNumberCalls(benchmark::State &state, int handle) {
  std::vector<double> round_trips_us;
  unsigned char serial[4];
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (KOVRA_GetSerialNumber(handle, serial, sizeof serial) != 4) state.SkipWithError("failed");
    round_trips_us.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  return round_trips_us;
}

}  // namespace kovra_bench
