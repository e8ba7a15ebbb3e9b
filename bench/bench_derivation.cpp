// The cost of keys derived per card against the card's write time, side by side in one run:
//   BM_DerivationAgainstWrite  first the five keys of one card derived from the job's master keys
//                              (CardKeyPlan, as every write, read and verify does it), many times
//                              with a new UID each; then the whole write of fresh cards with those
//                              keys on kovra-sim in its own process with its line model (115200
//                              baud, typical DESFire card times), by the wall clock.
// Counters: derive_us_per_card, write_ms_per_card and derive_share_percent (the derivation's share
// of the write's time; the goal is under 1 %).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "example_job.h"
#include "kovra.h"
#include "support/sim_process.h"
#include "writer/cards/card_detection.h"
#include "writer/cards/card_keys.h"
#include "writer/cards/write_sequence.h"
#include "writer/cards/writer_context.h"
#include "writer/job/data_codec.h"
#include "writer/job/key_plan.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDerivations = 20000;
constexpr int kWrites = 5;

// Every key of the job derived per card: card master, app master, read, write and read/write key.
quillmate::DesfireSet DerivedJob() {
  quillmate::DesfireSet job = kovra_bench::ExampleJob();
  job.key_count = 4;
  job.read_write_key_nr = 5;  // key 3 of the application
  job.read_write_key = QStringLiteral("D0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF");
  job.card_key_derived = job.app_key_derived = job.read_key_derived = job.write_key_derived =
      job.read_write_key_derived = true;
  job.system_identifier = QStringLiteral("Halle 3");
  return job;
}

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

void BM_DerivationAgainstWrite(benchmark::State &state) {
  const quillmate::DesfireSet job = DerivedJob();
  quillmate::KeyPlan plan;
  QByteArray bytes;
  if (!quillmate::ValidateWriteJob(job, plan).ok ||
      !quillmate::EncodeData(job, job.data, bytes).ok) {
    state.SkipWithError("the example job is refused");
    return;
  }
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, {"--link-baud", "115200", "--card-times", "typical"});
  const int handle = KOVRA_OpenPort(sim.pty().c_str(), 115200, 500);
  if (handle <= 0) {
    state.SkipWithError("could not open the simulator's pty");
    return;
  }
  quillmate::WriterContext context =
      quillmate::MakeWriterContext(handle, nullptr, quillmate::Language::kGerman);
  context.sleep_ms = [](int) {};  // the field pauses are the reader's time, not the write's

  double derive_seconds = 0;
  double write_seconds = 0;
  int writes = 0;
  for (auto _ : state) {
    QByteArray uid = QByteArray::fromHex("04112233445566");
    const Clock::time_point derive_start = Clock::now();
    for (int i = 0; i < kDerivations; ++i) {
      uid[6] = static_cast<char>(i);
      uid[5] = static_cast<char>(i >> 8);
      const quillmate::CardKeys keys = quillmate::CardKeyPlan(plan, uid);
      benchmark::DoNotOptimize(keys.plan.read_key.constData());
    }
    derive_seconds += Seconds(Clock::now() - derive_start) / kDerivations;

    for (int card = 0; card < kWrites; ++card) {
      sim.Control("place desfire");
      const Clock::time_point write_start = Clock::now();
      if (!quillmate::DetectCard(context, false) ||
          !quillmate::WriteCard(context, job, plan, bytes)) {
        state.SkipWithError("a card was not written");
        KOVRA_ClosePort(handle);
        return;
      }
      write_seconds += Seconds(Clock::now() - write_start);
      ++writes;
    }
  }
  const double iterations = static_cast<double>(state.iterations());
  const double derive_per_card = derive_seconds / iterations;
  const double write_per_card = write_seconds / writes;
  state.counters["derive_us_per_card"] = derive_per_card * 1e6;
  state.counters["write_ms_per_card"] = write_per_card * 1e3;
  state.counters["derive_share_percent"] = 100 * derive_per_card / write_per_card;
  KOVRA_ClosePort(handle);
}
BENCHMARK(BM_DerivationAgainstWrite)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
