// The cost of reserving a counting value per card: the locked read-count-write of the store that
// keeps processes sharing a series apart, side by side with the plain write of the value that the
// store did before (no lock, no fresh read). For both stores: the settings file (QSettings) and a
// job file (replaced whole, flushed to the disk). Run it on the disk the files will live on: the
// goal is a reservation under 1 ms on a local disk.
#include <benchmark/benchmark.h>

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "writer/job/job_file.h"
#include "writer/settings/settings_store.h"

namespace {

using quillmate::ValueStore;

// Counts the stored number up by one: what a reservation does for each card.
std::optional<QString> Next(const QString &stored) {
  return QString::number(stored.toLongLong() + 1);
}

// Arg 0: the plain write of the next value; arg 1: the locked reservation.
void BM_SettingsValue(benchmark::State &state) {
  QTemporaryDir folder;
  quillmate::SettingsStore store(folder.path());
  quillmate::DesfireSet job;
  job.data = QStringLiteral("1000");
  store.SaveJob(job);
  quillmate::SettingsValueStore values(store);
  long long value = 1000;
  for (auto _ : state) {
    const bool done =
        state.range(0) == 0 ? store.StoreValue(QString::number(++value)) : values.Update(Next);
    if (!done) state.SkipWithError("the store refused");
  }
}
BENCHMARK(BM_SettingsValue)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_JobFileValue(benchmark::State &state) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("series.KVMFDat"));
  quillmate::DesfireSet job;
  job.data = QStringLiteral("1000");
  quillmate::SaveJobFile(path, job);
  quillmate::JobFileValueStore values(path);
  long long value = 1000;
  for (auto _ : state) {
    const bool done = state.range(0) == 0
                          ? quillmate::StoreJobFileValue(path, QString::number(++value)).ok
                          : values.Update(Next);
    if (!done) state.SkipWithError("the store refused");
  }
}
BENCHMARK(BM_JobFileValue)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
