// "series show", "series export" and "series report": what the series' ledger holds, as a summary
// on the terminal, as CSV or JSON for the customer's system, and as a PDF report. The series is
// the one a write with the same options would write into (--job, --series, --series-db and the
// settings choose it alike).
#pragma once

#include <QStringList>
#include <memory>

#include "cli/cli_options.h"
#include "writer/settings/settings_store.h"

class QCoreApplication;

namespace quillmate::cli {

// The options only the series commands take.
struct SeriesOptions {
  QString format;  // export: "csv" or "json"
  QString output;  // export: the file (empty: stdout); report: the PDF file (required)
};

// `arguments` are the words after "series". Result: 0 done; 2 bad usage, a series the ledger
// does not hold, or an output that could not be written (nothing is left of it); 4 a ledger that
// could not be opened or read (the message names the database).
//   show     the summary: count, first and last value, failures, gaps, reissues, stations (with
//            --json one object on stdout)
//   export   one row per ledger entry, --format csv|json, to --output FILE or stdout
//   report   the PDF report to --output FILE
int RunSeriesCommand(SettingsStore &settings, const QStringList &arguments,
                     const CardOptions &options, const SeriesOptions &series_options);

// The application object for the command line `argv`: a QGuiApplication on the offscreen
// platform when it may ask for "series report" (the PDF takes fonts and Qt's GUI layer, and no
// display is needed), a QCoreApplication otherwise, so that every other command runs on QtCore
// alone.
std::unique_ptr<QCoreApplication> MakeCliApplication(int &argc, char **argv);

}  // namespace quillmate::cli
