// "job show [FILE]" and "job set [FILE] KEY=VALUE ...": the job of the settings (or of a job
// file) printed as KEY=VALUE lines, or changed key by key with the settings' key names.
#pragma once

#include <QStringList>

#include "writer/settings_store.h"

namespace quillmate::cli {

// `arguments` are the words after "job". Result: an exit code (0, or 2 for bad usage, an unknown
// key, a value that does not parse, a refused job or a file that could not be written; the
// message on stderr names the key or field).
// "job show" prints each key as one '*' per digit unless `show_keys` (--show-keys).
int RunJobCommand(SettingsStore &settings, const QStringList &arguments, bool show_keys);

}  // namespace quillmate::cli
