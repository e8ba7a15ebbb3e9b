// Where a card operation takes its job from: the settings or a job file, with the store of its
// counting value.
#include "writer/job/job_source.h"

#include <QCoreApplication>

#include "writer/job/job_file.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "JobSource" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(JobSource)
};

}  // namespace

JobSource LoadJobSource(SettingsStore &settings, const QString &job_file) {
  JobSource source;
  if (job_file.isEmpty()) {
    if (!settings.Readable()) source.errors.append(settings.Problem());
    source.job = settings.LoadJob(&source.unreadable_keys);
    for (const QString &key : source.unreadable_keys) {
      source.errors.append(
          Texts::tr("Der gespeicherte Schlüssel \"%1\" in den Einstellungen kann nicht gelesen "
                    "werden!")
              .arg(key));
    }
    source.value_store = std::make_unique<SettingsValueStore>(settings);
  } else {
    source.job_file = WithJobFileExtension(job_file);
    const JobFileResult loaded = LoadJobFile(source.job_file, source.job);
    if (!loaded.ok) source.errors.append(loaded.message);
    source.value_store = std::make_unique<JobFileValueStore>(source.job_file);
  }
  // A stored value other than this one, when a card is written, means that another process sharing
  // the store has counted on.
  source.value_store->SetSeen(source.job.data);
  source.ok = source.errors.isEmpty();
  return source;
}

}  // namespace quillmate
