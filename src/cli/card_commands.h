// The commands that open the reader: "info", "write" and "read" (single, --count N, --cycle).
#pragma once

#include <QString>

#include "cli/reader_access.h"
#include "writer/settings_store.h"

namespace quillmate::cli {

// Prints device name, version, firmware and port. Result: 0, or 3 without a reader.
int RunInfo(SettingsStore &settings, const CardOptions &options);

// Writes (`write` true) or reads cards. Result: 0 when every card asked for was done (a cycle
// stopped by SIGINT counts as done), 1 when a single operation failed, 2 for a refused job or an
// unreadable job file, 3 without a reader.
int RunCardOperation(SettingsStore &settings, const CardOptions &options, bool write);

}  // namespace quillmate::cli
