// "info": opens the reader and prints what it says of itself.
#pragma once

#include "cli/cli_options.h"
#include "writer/settings/settings_store.h"

namespace quillmate::cli {

// Prints device name, version, firmware and port. Result: 0, or 3 without a reader.
int RunInfo(SettingsStore &settings, const CardOptions &options);

}  // namespace quillmate::cli
