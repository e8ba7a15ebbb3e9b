// Loading the job a command works with and printing its problems the CLI's way.
#include "cli/cli_job.h"

#include "cli/cli_output.h"

namespace quillmate::cli {

QString SetKeyAgainHint(const QString &key) {
  return QString("set it again with: job set %1=...").arg(key);
}

JobSource LoadCliJob(SettingsStore &settings, const QString &job_file) {
  JobSource source = LoadJobSource(settings, job_file);
  for (const QString &error : source.errors) Error(error);
  for (const QString &key : source.unreadable_keys) Error(SetKeyAgainHint(key));
  return source;
}

}  // namespace quillmate::cli
