// The commands that open the reader: "info", "write" and "read" (single, --count N, --cycle).
#pragma once

#include <QString>

#include "writer/settings_store.h"

namespace quillmate::cli {

// What the global and command options asked for; empty texts and negative numbers: not given.
struct CardOptions {
  QString port;
  int baud = -1;
  int timeout_ms = -1;
  int language = -1;  // settings convention: 0 German, 1 English
  bool json = false;
  QString job_file;
  QString value;
  bool value_given = false;
  int count = 0;  // 0: single run
  bool cycle = false;
  QString log_file;
  int wait_card_s = 10;
};

// Prints device name, version, firmware and port. Result: 0, or 3 without a reader.
int RunInfo(SettingsStore &settings, const CardOptions &options);

// Writes (`write` true) or reads cards. Result: 0 when every card asked for was done (a cycle
// stopped by SIGINT counts as done), 1 when a single operation failed, 2 for a refused job or an
// unreadable job file, 3 without a reader.
int RunCardOperation(SettingsStore &settings, const CardOptions &options, bool write);

}  // namespace quillmate::cli
