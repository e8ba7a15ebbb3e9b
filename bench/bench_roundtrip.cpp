// One command round trip over a pseudo-terminal to kovra-sim running as its own process.
// Arg 0: the simulator answers at once (the bare cost of a pty and two processes); arg 1: the
// simulator's link model adds the time the bytes need on a 115200-baud line. Counters:
// roundtrip_median_us (wall time per command), library_cpu_us (processor time of this process, i.e.
// of the library's calling thread and port thread, per command) and library_share (library_cpu_us /
// mean round trip).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "kovra.h"

extern char **environ;

namespace {

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class SimProcess {
 public:
  explicit SimProcess(bool line_time) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const std::string control = "/tmp/kovra-bench-" + std::to_string(getpid()) + ".ctl";
    std::vector<char *> argv = {const_cast<char *>(KOVRA_SIM_PATH), const_cast<char *>("--control"),
                                const_cast<char *>(control.c_str())};
    if (line_time) {
      argv.push_back(const_cast<char *>("--link-baud"));
      argv.push_back(const_cast<char *>("115200"));
    }
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, KOVRA_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    output_ = fdopen(out[0], "r");
    char line[256];
    for (int i = 0; i < 2 && output_ && fgets(line, sizeof line, output_); ++i) {
      std::string text(line);
      if (text.rfind("pty: ", 0) == 0) pty_ = text.substr(5, text.size() - 6);
    }
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (output_) fclose(output_);
  }
  const std::string &pty() const { return pty_; }

 private:
  pid_t pid_ = -1;
  FILE *output_ = nullptr;
  std::string pty_;
};

void BM_SerialNumberRoundTrip(benchmark::State &state) {
  SimProcess sim(state.range(0) == 1);
  const int handle = KOVRA_OpenPort(sim.pty().c_str(), 115200, 500);
  if (handle <= 0) {
    state.SkipWithError("could not open the simulator's pty");
    return;
  }
  std::vector<double> round_trips_us;
  unsigned char serial[4];
  const double cpu_start = ProcessCpuSeconds();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (KOVRA_GetSerialNumber(handle, serial, sizeof serial) != 4) state.SkipWithError("failed");
    round_trips_us.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
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
