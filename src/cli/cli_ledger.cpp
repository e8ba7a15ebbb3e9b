// The series' ledger on the command line.
#include "cli/cli_ledger.h"

#include <QDeadlineTimer>

#include "cli/cli_output.h"
#include "cli/interrupt.h"
#include "writer/job/data_codec.h"
#include "writer/ledger/held_value.h"

namespace quillmate::cli {

OpenedLedger OpenCliLedger(SettingsStore &settings, const CardOptions &options,
                           const QString &job_file, const DesfireSet &job) {
  LedgerRequest request;
  request.settings_file = settings.FileName();
  request.job_file = job_file;
  request.settings = settings.LoadOperatorSettings().series;
  request.database = options.series_db;
  request.series = options.series;
  const QDeadlineTimer deadline(static_cast<qint64>(options.wait_db_s) * 1000);
  bool said_waiting = false;
  for (;;) {
    OpenedLedger opened = OpenSeriesLedger(request, job);
    if (opened.ledger != nullptr) {
      if (said_waiting) Error("the series ledger answers again: " + opened.database);
      return opened;
    }
    if (deadline.hasExpired() || Interrupted()) {
      Error(opened.failure);
      return opened;
    }
    if (!said_waiting) {
      Error(opened.failure + QString("; waiting at most %1 s (--wait-db)").arg(options.wait_db_s));
      said_waiting = true;
    }
    SleepUnlessInterrupted(1000);
  }
}

LedgerHolds HeldInLedger(OpenedLedger &opened, const DesfireSet &job, const QString &value,
                         bool allowed, const QString &hint) {
  DesfireSet written = job;
  written.data = value;
  NormaliseValue(written, 0);
  const std::optional<std::vector<LedgerEntry>> holding =
      opened.ledger->Holding(opened.series, written.data);
  if (!holding) {
    Error(opened.ledger->Failure());
    return LedgerHolds::kFailed;
  }
  if (holding->empty()) return LedgerHolds::kNo;
  if (allowed) return LedgerHolds::kAllowed;
  Error(HeldValueText(written.data, holding->back()) + ' ' + hint);
  return LedgerHolds::kRefused;
}

}  // namespace quillmate::cli
