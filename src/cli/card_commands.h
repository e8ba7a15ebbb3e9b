// "write" and "read": single, --count N and --cycle.
#pragma once

#include "cli/cli_options.h"
#include "writer/settings/settings_store.h"

namespace quillmate::cli {

// Writes (`write` true) or reads cards. Result: 0 when every card asked for was done (a --cycle
// stopped by SIGINT counts as done), 1 when a single operation failed, a --count series ended with
// fewer cards, or a series ended because its next value no longer fits the file; 2 for a refused
// job or an unreadable job file, 3 without a reader.
int RunCardOperation(SettingsStore &settings, const CardOptions &options, bool write);

}  // namespace quillmate::cli
