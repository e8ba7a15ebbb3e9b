// "format" and "delete-app": erasing a card completely, or removing one application from it.
#pragma once

#include "cli/reader_access.h"
#include "writer/settings_store.h"

namespace quillmate::cli {

// Formats the card on the reader with the card master key (--card-key, else the job's "CardKey")
// and sets the master key back to the factory default. Result: 0 after the card was formatted,
// 1 when the card operation failed, 2 for a refused key text, 3 without a reader.
int RunFormat(SettingsStore &settings, const CardOptions &options);

// Deletes application --aid, authenticated with --app-key (else the job's "AppKey"). Result as
// RunFormat; 2 also for a missing or refused --aid.
int RunDeleteApplication(SettingsStore &settings, const CardOptions &options);

}  // namespace quillmate::cli
