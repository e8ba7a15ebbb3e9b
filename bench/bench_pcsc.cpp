// A PC/SC reader against the maker's serial reader, side by side in one run: kovra-sim serves
// the same DESFire card model over a pseudo-terminal and, through a pcsc-lite daemon of this
// process's own (tests/support/pcscd_rig.h), as the vpcd driver's card.
//   BM_DesfireRoundTrip  one DESFire command (GetFreeMemory) on each link in turn. Counters:
//                        serial_median_us, pcsc_median_us and pcsc_to_serial (their ratio).
//   BM_SeriesCard/0, /1  the writer core's detection and write of a factory-fresh card, on the
//                        serial reader (0) or the PC/SC reader (1); taking the last card away,
//                        laying the next and waiting until the reader sees it is not timed.
//                        Counter ms_per_card (wall time).
// The daemon needs root for its namespaces; without it, pcscd or the vpcd driver the benchmarks
// are skipped with the reason.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "example_job.h"
#include "kovra.h"
#include "support/pcscd_rig.h"
#include "support/sim_process.h"
#include "writer/cards/card_detection.h"
#include "writer/cards/write_sequence.h"
#include "writer/cards/writer_context.h"
#include "writer/job/data_codec.h"
#include "writer/job/key_plan.h"

namespace {

using kovra_bench::ExampleJob;

using Clock = std::chrono::steady_clock;

// The daemon and its simulator: one per process (the client library reads its socket once).
kovra_test::PcscdRig *Rig(std::string &problem) {
  static std::string failure;
  static std::unique_ptr<kovra_test::PcscdRig> rig = [] {
    std::unique_ptr<kovra_test::PcscdRig> made;
    failure = kovra_test::PcscdRig::Missing();
    if (!failure.empty()) return made;
    kovra_test::PcscdRigOptions options;
    options.sim_program = KOVRA_SIM_PATH;
    made = std::make_unique<kovra_test::PcscdRig>(options);
    if (!made->Start(&failure)) made.reset();
    return made;
  }();
  problem = failure;
  return rig.get();
}

// Activates the card in the field as the writer does; false when none answers within 5 s.
bool Activate(int handle) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < deadline) {
    unsigned short atqa = 0;
    unsigned char uid[10];
    unsigned char sak = 0;
    unsigned char ats[20];
    if (KOVRA_SetRfField(handle, 0) == 0 && KOVRA_SetRfField(handle, 1) == 0 &&
        KOVRA_Request(handle, &atqa) == 0 && KOVRA_Select(handle, uid, sizeof uid, &sak) > 0 &&
        KOVRA_SendRats(handle, ats, sizeof ats) > 0 && KOVRA_SendPps(handle, 0) == 0) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double MicrosecondsOf(int handle) {
  const auto start = Clock::now();
  KOVRA_DESFireGetFreeMemory(handle);
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void BM_DesfireRoundTrip(benchmark::State &state) {
  std::string problem;
  kovra_test::PcscdRig *rig = Rig(problem);
  if (rig == nullptr) {
    state.SkipWithError(problem.c_str());
    return;
  }
  kovra_test::SimProcess serial_sim(KOVRA_SIM_PATH, {});
  serial_sim.Control("place desfire");
  rig->SimControl("place desfire");
  const int serial = KOVRA_OpenPort(serial_sim.pty().c_str(), 115200, 500);
  const int pcsc = KOVRA_OpenPort(("PCSC: " + rig->ReaderName()).c_str(), 0, 500);
  if (serial <= 0 || pcsc <= 0 || !Activate(serial) || !Activate(pcsc)) {
    state.SkipWithError("a reader did not open or its card did not answer");
    return;
  }
  std::vector<double> serial_us;
  std::vector<double> pcsc_us;
  for (auto _ : state) {
    serial_us.push_back(MicrosecondsOf(serial));
    pcsc_us.push_back(MicrosecondsOf(pcsc));
  }
  state.counters["serial_median_us"] = Median(serial_us);
  state.counters["pcsc_median_us"] = Median(pcsc_us);
  state.counters["pcsc_to_serial"] = Median(pcsc_us) / Median(serial_us);
  KOVRA_ClosePort(serial);
  KOVRA_ClosePort(pcsc);
}
BENCHMARK(BM_DesfireRoundTrip)->Iterations(500)->Unit(benchmark::kMicrosecond);

void BM_SeriesCard(benchmark::State &state) {
  const bool on_pcsc = state.range(0) == 1;
  std::string problem;
  kovra_test::PcscdRig *rig = Rig(problem);
  if (rig == nullptr) {
    state.SkipWithError(problem.c_str());
    return;
  }
  kovra_test::SimProcess serial_sim(KOVRA_SIM_PATH, {});
  // A card leaves the field before the next one comes, as in a series.
  const auto place = [&] {
    const auto control = [&](const char *command) {
      return on_pcsc ? rig->SimControl(command) : serial_sim.Control(command);
    };
    control("remove");
    std::this_thread::sleep_for(std::chrono::milliseconds(on_pcsc ? 1000 : 0));
    return control("place desfire");
  };
  const int handle = on_pcsc ? KOVRA_OpenPort(("PCSC: " + rig->ReaderName()).c_str(), 0, 500)
                             : KOVRA_OpenPort(serial_sim.pty().c_str(), 115200, 500);
  quillmate::WriterContext context =
      quillmate::MakeWriterContext(handle, nullptr, quillmate::Language::kGerman);
  context.sleep_ms = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  const quillmate::DesfireSet job = ExampleJob();
  quillmate::KeyPlan plan;
  QByteArray bytes;
  if (handle <= 0 || !quillmate::ValidateWriteJob(job, plan).ok ||
      !quillmate::EncodeData(job, job.data, bytes).ok) {
    state.SkipWithError("the reader did not open or the example job is refused");
    return;
  }
  double total_ms = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const bool placed = place().rfind("ok", 0) == 0;
    const bool seen = placed && Activate(handle);  // the daemon has noticed the new card
    state.ResumeTiming();
    const auto start = Clock::now();
    const bool detected = seen && quillmate::DetectCard(context, false);
    if (!detected || !quillmate::WriteCard(context, job, plan, bytes)) {
      state.SkipWithError("a card was not written");
      break;
    }
    total_ms += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }
  state.counters["ms_per_card"] = total_ms / static_cast<double>(state.iterations());
  KOVRA_ClosePort(handle);
}
BENCHMARK(BM_SeriesCard)->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
