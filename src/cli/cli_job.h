// The job a command works with, loaded in the core and its problems printed the CLI's way.
#pragma once

#include <QString>

#include "writer/job/job_source.h"

namespace quillmate::cli {

// The hint for a stored key that does not decipher: how to set it again.
QString SetKeyAgainHint(const QString &key);

// The job of --job FILE, else of the settings. ok false after printing why on stderr.
JobSource LoadCliJob(SettingsStore &settings, const QString &job_file);

}  // namespace quillmate::cli
