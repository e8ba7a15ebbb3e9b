#include "cli/erase_commands.h"

#include "cli/exit_codes.h"

namespace quillmate::cli {

int RunFormat(SettingsStore &, const CardOptions &) {
  Error("format: not built yet");
  return kExitUsage;
}

int RunDeleteApplication(SettingsStore &, const CardOptions &) {
  Error("delete-app: not built yet");
  return kExitUsage;
}

}  // namespace quillmate::cli
