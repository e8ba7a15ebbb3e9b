// "format" and "delete-app": erasing a card completely, or removing one application from it.
#pragma once

#include "cli/cli_options.h"
#include "writer/settings/settings_store.h"

namespace quillmate::cli {

// Both commands take a key option that is not given from the job (the --job file, else the
// settings' job); an option given empty stands for the factory default key. The key and AID texts
// are checked before the reader is opened, so a refused text never reaches the card; its message
// on stderr names the option (or the job key) it came from. The card's status line goes to
// stderr; with --json one object {"op","ok","uid","lines"} follows on stdout.

// Formats the card on the reader with the card master key (--card-key, else the job's "CardKey")
// and sets the master key back to the factory default. Result: 0 after the card was formatted,
// 1 when the card operation failed, 2 for a refused key text or an unreadable --job file, 3
// without a reader.
int RunFormat(SettingsStore &settings, const CardOptions &options);

// Deletes application --aid (hex digits only, 0 to FFFFFF; 0 is the card level), authenticated
// with --app-key (else the job's "AppKey"). Result as RunFormat; 2 also for a missing or refused
// --aid.
int RunDeleteApplication(SettingsStore &settings, const CardOptions &options);

}  // namespace quillmate::cli
