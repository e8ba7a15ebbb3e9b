// What opening a port costs when no reader answers on it: the open sequence asks for the version
// twice in family 0 (reopening the port in between) and once in each of families 1 to 3, each
// query allowed 300 ms. Counter budget_ratio compares the measured time with 5 x 300 ms.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "kovra.h"

namespace {

// A pseudo-terminal nobody answers on: the library opens its slave side like a serial line.
class SilentLine {
 public:
  SilentLine() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    termios raw{};
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
    path_ = ptsname(master_);
    // Held open so that the master side never sees a hang-up between the library's opens.
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~SilentLine() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  const std::string &path() const { return path_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

void BM_OpenWithoutReader(benchmark::State &state) {
  SilentLine line;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int result = KOVRA_OpenPort(line.path().c_str(), 19200, 1000);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != KOVRA_OPEN_NO_READER) state.SkipWithError("expected -11 from a silent line");
  }
  const double per_open = seconds / static_cast<double>(state.iterations());
  state.counters["open_ms"] = per_open * 1000;
  state.counters["budget_ratio"] = per_open / 1.5;
}
BENCHMARK(BM_OpenWithoutReader)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
