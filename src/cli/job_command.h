// "job show [FILE]", "job set [FILE] KEY=VALUE ..." and "job check [FILE]": the job of the
// settings (or of a job file) printed as KEY=VALUE lines, changed key by key with the settings'
// key names, or looked through for what is risky.
#pragma once

#include "cli/cli_options.h"

#include <QStringList>

#include "writer/settings/settings_store.h"

namespace quillmate::cli {

// `arguments` are the words after "job". Result: an exit code (0, or 2 for bad usage, an unknown
// key, a value that does not parse, a refused job or a file that could not be written; the
// message on stderr names the key or field).
// "job show" prints each key as one '*' per digit unless `show_keys` (--show-keys). "job check
// [FILE]" prints what is risky in the job (one "warning:" line each; `series_cards` > 1 also checks
// that a counting value fits the file for that many cards): 0 nothing risky, 1 warnings, 2 a job
// the write check refuses. "job set Wert=..." with a value the series has given out already
// needs `yes` (--yes) or the operator's yes on a terminal; refused otherwise (2). For a counting
// series the series' ledger decides what was given out (--series-db, --series choose it) and
// takes the new value as the series' next; a ledger that fails ends with 4.
int RunJobCommand(SettingsStore &settings, const QStringList &arguments, bool show_keys,
                  const CardOptions &options);

}  // namespace quillmate::cli
