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

// True when `value` (as the job writes it) may be set as the series' next: the ledger does not
// hold it, or `allowed`. Otherwise the card that got it and when go to stderr followed by `hint`
// (the option that allows it); a ledger that fails answers false with its failure.
bool ValueFreeInLedger(OpenedLedger &opened, const DesfireSet &job, const QString &value,
                       bool allowed, const QString &hint);

}  // namespace quillmate::cli
