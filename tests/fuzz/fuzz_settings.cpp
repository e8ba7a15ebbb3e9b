// The settings file as it is found on disk: any bytes, edited by hand or damaged. Loading must
// give a job and operator settings without crashing; the job goes through what a front end does
// with it (the job checks, the data encoding, the tidied value, the access lists). A file the
// store cannot read is never written: saves fail and the bytes stay as they were. What is saved
// of a readable file loads again as the same job and the same settings.
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "same_job.h"
#include "writer/job/data_codec.h"
#include "writer/job/desfire_set.h"
#include "writer/job/key_plan.h"
#include "writer/settings/settings_store.h"

using namespace quillmate;

namespace {

bool SameSettings(const OperatorSettings &a, const OperatorSettings &b) {
  return a.language == b.language && a.show_keys == b.show_keys &&
         a.logs.write_enabled == b.logs.write_enabled && a.logs.write_file == b.logs.write_file &&
         a.logs.read_enabled == b.logs.read_enabled && a.logs.read_file == b.logs.read_file &&
         a.cycle_period_ms == b.cycle_period_ms && a.beep_time_ms == b.beep_time_ms &&
         a.port.name == b.port.name && a.port.baud_rate == b.port.baud_rate &&
         a.port.timeout_ms == b.port.timeout_ms && a.port.address == b.port.address &&
         a.port.ethernet_active == b.port.ethernet_active && a.update_check == b.update_check &&
         a.verify_after_write == b.verify_after_write;
}

// A folder of its own for every input: QSettings keeps what it read of a file by its path, and a
// file rewritten within the same moment with the same size would not be read again.
QString NewFolder() {
  static const QString base =
      QDir::temp().filePath(QStringLiteral("fuzz_settings-%1").arg(getpid()));
  static const bool removed_at_exit = std::atexit([] { QDir(base).removeRecursively(); }) == 0;
  (void)removed_at_exit;
  static unsigned counter = 0;
  const QString folder = QDir(base).filePath(QString::number(++counter));
  QDir().mkpath(folder);
  return folder;
}

// What the front ends do with a loaded job before it reaches a card.
void UseJob(const DesfireSet &loaded) {
  DesfireSet job = loaded;
  KeyPlan plan;
  ValidateReadJob(job, plan);
  MaxDataChars(job);
  if (ValidateWriteJob(job, plan).ok) {
    QByteArray bytes;
    if (EncodeData(job, job.data, bytes).ok) DecodeData(job, bytes);
    NormaliseValue(job, 0);
    NormaliseValue(job, 1);
  }
  FillAccessLists(job);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString folder = NewFolder();
  DesfireSet job;
  OperatorSettings settings;
  // The file is in place before the store opens it, as at a program start.
  const QString file = SettingsStore(folder).FileName();
  {
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly)) std::abort();
    out.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
  }
  bool readable = false;
  {
    SettingsStore store(folder);
    readable = store.Readable();
    QStringList unreadable;
    job = store.LoadJob(&unreadable);
    settings = store.LoadOperatorSettings();
    UseJob(job);
    const bool saved_job = store.SaveJob(job);
    const bool saved_settings = store.SaveOperatorSettings(settings);
    if (saved_job != readable || saved_settings != readable) std::abort();
  }
  if (!readable) {
    // A file the store could not read stays exactly as it was.
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) std::abort();
    if (in.readAll() !=
        QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))) {
      std::abort();
    }
    QDir(folder).removeRecursively();
    return 0;
  }

  // The saved file, read by a store that has not seen the original.
  const QString again_folder = NewFolder();
  {
    if (!QFile::copy(file, SettingsStore(again_folder).FileName())) std::abort();
    SettingsStore again(again_folder);
    QStringList unreadable;
    if (!kovra_fuzz::SameJob(again.LoadJob(&unreadable), job) || !unreadable.isEmpty())
      std::abort();
    if (!SameSettings(again.LoadOperatorSettings(), settings)) std::abort();
  }
  QDir(folder).removeRecursively();
  QDir(again_folder).removeRecursively();
  return 0;
}
