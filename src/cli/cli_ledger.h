// The series' ledger on the command line: opened as the settings and --series-db / --series
// choose it, waited for within --wait-db, and the refusal of a value it holds.
#pragma once

#include <QString>

#include "cli/cli_options.h"
#include "writer/job/desfire_set.h"
#include "writer/ledger/ledger_choice.h"
#include "writer/settings/settings_store.h"

namespace quillmate::cli {

// Opens the ledger of `job` (from the settings, or from `job_file` when not empty). A ledger that
// cannot be opened is tried again every second until --wait-db runs out; then, or at once without
// --wait-db, its failure goes to stderr and the result's ledger is null.
OpenedLedger OpenCliLedger(SettingsStore &settings, const CardOptions &options,
                           const QString &job_file, const DesfireSet &job);

// Whether the ledger holds `value` (as the job writes it) for this series.
enum class LedgerHolds {
  kNo,       // never given out in the ledger (values below the series' next are for the caller)
  kAllowed,  // given out, and `allowed` says to give it out again
  kRefused,  // given out: the card that got it and when went to stderr, followed by `hint`
  kFailed,   // the ledger failed; its failure went to stderr
};
LedgerHolds HeldInLedger(OpenedLedger &opened, const DesfireSet &job, const QString &value,
                         bool allowed, const QString &hint);

}  // namespace quillmate::cli
