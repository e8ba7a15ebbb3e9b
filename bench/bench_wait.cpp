// What a command costs while it waits for the reader, measured side by side with a reference
// that polls the receive buffer without sleeping (the way a message-pumping wait loop does):
//
//   BM_LateReply/<mode>     the reply comes 200 ms after the command; counter cpu_percent is the
//                           waiting thread's processor time as a share of the wall time.
//   BM_ReplyLatency/<mode>  the reply comes 2 ms after the command; counters latency_median_us and
//                           latency_p90_us measure from the moment the simulated reader handed
//                           over the reply's last byte to the moment the command returned.
//
// mode 0 is the library's wait, mode 1 the busy-polling reference.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "reader/frame.h"
#include "reader/port.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint8_t kVersion = 0xF0;

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The reference: send the frame through the same port, then spin on the receive buffer until
// the reply is complete.
bool BusyPollingCommand(kovra::CKOVRA_Port &port, kovra::CMyByteArray &reply) {
  port.SendBuffer().RemoveAll();
  port.SendBuffer().Add(kVersion);
  kovra::CMyByteArray frame = port.SendBuffer();
  kovra::frame::BuildFrame(port.Family(), 1, frame);
  port.GetTransport()->Write(frame.GetData(), frame.GetSize());
  const auto deadline = Clock::now() + std::chrono::milliseconds(port.Timeout());
  while (Clock::now() <= deadline) {
    const kovra::CMyByteArray received = port.ReceivedBytes();
    if (received.GetSize() >= kovra::frame::HeaderLength(0) &&
        kovra::frame::CompleteLength(0, received.GetData(), received.GetSize())) {
      return port.ParseReply(reply);
    }
  }
  return false;
}

bool RunCommand(bool busy, kovra::CKOVRA_Port &port, kovra::CMyByteArray &reply) {
  if (busy) return BusyPollingCommand(port, reply);
  return port.Command(kVersion, nullptr, 0, reply);
}

void BM_LateReply(benchmark::State &state) {
  const bool busy = state.range(0) == 1;
  kovra_sim::SimReader reader;
  reader.SetReplyDelay(std::chrono::milliseconds(200));
  auto port = kovra_test::MakeSimPort(reader, 0);
  kovra::CMyByteArray reply;
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double cpu_start = ThreadCpuSeconds();
    const auto wall_start = Clock::now();
    if (!RunCommand(busy, *port, reply)) state.SkipWithError("no reply");
    cpu += ThreadCpuSeconds() - cpu_start;
    wall += std::chrono::duration<double>(Clock::now() - wall_start).count();
  }
  state.counters["cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
}
BENCHMARK(BM_LateReply)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_ReplyLatency(benchmark::State &state) {
  const bool busy = state.range(0) == 1;
  kovra_sim::SimReader reader;
  reader.SetReplyDelay(std::chrono::milliseconds(2));
  auto port = kovra_test::MakeSimPort(reader, 0);
  kovra::CMyByteArray reply;
  std::vector<double> latencies_us;
  for (auto _ : state) {
    if (!RunCommand(busy, *port, reply)) state.SkipWithError("no reply");
    const auto returned = Clock::now();
    const auto last_byte = reader.LastReplyEnd();
    if (last_byte) {
      latencies_us.push_back(
          std::chrono::duration<double, std::micro>(returned - *last_byte).count());
    }
  }
  std::sort(latencies_us.begin(), latencies_us.end());
  if (!latencies_us.empty()) {
    state.counters["latency_median_us"] = latencies_us[latencies_us.size() / 2];
    state.counters["latency_p90_us"] = latencies_us[latencies_us.size() * 9 / 10];
  }
}
BENCHMARK(BM_ReplyLatency)->Arg(0)->Arg(1)->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
