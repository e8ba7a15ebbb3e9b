// The whole write sequence of the writer core, with kovra-sim in its own process answering at
// once over a pseudo-terminal, so that this process's processor time is the core's and the
// library's alone:
//   BM_WriteCard/0  a factory-fresh card each time (a new card is laid down between iterations)
//   BM_WriteCard/1  the same, already written card again
// Counter cpu_ms_per_card: processor time of this process per card (detection included).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <string>

#include "example_job.h"
#include "kovra.h"
#include "support/sim_process.h"
#include "writer/cards/card_detection.h"
#include "writer/cards/write_sequence.h"
#include "writer/cards/writer_context.h"
#include "writer/job/data_codec.h"
#include "writer/job/key_plan.h"

namespace {

using kovra_bench::ExampleJob;

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Card exchanges (reader command 0x45) the simulator has answered so far, from its state.
long ExchangeCount(kovra_test::SimProcess &sim) {
  const std::string state = sim.Control("state");
  const std::string key = "\"45\":";
  const size_t at = state.find(key);
  return at == std::string::npos ? 0 : std::atol(state.c_str() + at + key.size());
}

void BM_WriteCard(benchmark::State &state) {
  const bool fresh = state.range(0) == 0;
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, {});
  const int handle = KOVRA_OpenPort(sim.pty().c_str(), 115200, 500);
  if (handle <= 0) {
    state.SkipWithError("could not open the simulator's pty");
    return;
  }
  // No front end: status lines go nowhere and a question is answered with Cancel.
  quillmate::WriterContext context =
      quillmate::MakeWriterContext(handle, nullptr, quillmate::Language::kGerman);
  context.sleep_ms = [](int) {};  // the field pauses are the reader's time, not ours
  const quillmate::DesfireSet job = ExampleJob();
  quillmate::KeyPlan plan;
  QByteArray bytes;
  if (!quillmate::ValidateWriteJob(job, plan).ok ||
      !quillmate::EncodeData(job, job.data, bytes).ok) {
    state.SkipWithError("the example job is refused");
    return;
  }
  sim.Control("place desfire");
  if (!fresh) {  // the card is written once before the timed runs
    quillmate::DetectCard(context, false);
    quillmate::WriteCard(context, job, plan, bytes);
  }
  const long exchanges_before = ExchangeCount(sim);
  double cpu = 0;
  for (auto _ : state) {
    if (fresh) {
      state.PauseTiming();
      sim.Control("place desfire");
      state.ResumeTiming();
    }
    const double start = ProcessCpuSeconds();
    if (!quillmate::DetectCard(context, false) ||
        !quillmate::WriteCard(context, job, plan, bytes)) {
      state.SkipWithError("a card was not written");
      break;
    }
    cpu += ProcessCpuSeconds() - start;
  }
  state.counters["cpu_ms_per_card"] = cpu * 1000 / static_cast<double>(state.iterations());
  const long exchanges = ExchangeCount(sim) - exchanges_before;
  state.counters["exchanges_per_card"] =
      static_cast<double>(exchanges) / static_cast<double>(state.iterations());
  KOVRA_ClosePort(handle);
}
BENCHMARK(BM_WriteCard)->Arg(0)->Arg(1)->Iterations(50)->Unit(benchmark::kMillisecond);

}  // namespace
