// "series show", "series export" and "series report".
#include "cli/series_command.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

#include "cli/cli_output.h"
#include "cli/exit_codes.h"
#include "report/series_report.h"
#include "writer/job/job_source.h"
#include "writer/ledger/ledger_export.h"
#include "writer/ledger/series_record.h"
#include "writer/records/whole_file.h"

namespace quillmate::cli {
namespace {

// The series of the job as a write would choose it, read whole; nullopt after saying why (the
// exit code in `exit_code`).
std::optional<SeriesRecord> ReadSeries(SettingsStore &settings, const CardOptions &options,
                                       int &exit_code) {
  exit_code = kExitUsage;
  JobSource source = LoadJobSource(settings, options.job_file);
  // The series is named after the job's application and file; keys that do not decipher do not
  // change that.
  if (!source.ok && source.unreadable_keys.isEmpty()) {
    for (const QString &error : source.errors) Error(error);
    return std::nullopt;
  }
  LedgerRequest request;
  request.settings_file = settings.FileName();
  request.job_file = source.job_file;
  request.settings = settings.LoadOperatorSettings().series;
  request.database = options.series_db;
  request.series = options.series;
  SeriesRecord record = ReadChosenSeries(request, source.job);
  switch (record.outcome) {
    case SeriesRecord::Outcome::kRead:
      return record;
    case SeriesRecord::Outcome::kNoLedger:
    case SeriesRecord::Outcome::kFailed:
      Error("series: " + SeriesRecordProblem(record));
      exit_code = kExitLedger;
      return std::nullopt;
    case SeriesRecord::Outcome::kUnknownSeries:
      break;
  }
  QString known = record.known.isEmpty() ? QString("none") : record.known.join("\", \"");
  if (!record.known.isEmpty()) known = '"' + known + '"';
  Error(QString("series: the ledger %1 holds no series \"%2\" (its series: %3); --series NAME "
                "chooses another")
            .arg(record.database, record.summary.series, known));
  return std::nullopt;
}

int Show(const SeriesRecord &record, bool json) {
  const LedgerSummary &summary = record.summary;
  if (json) {
    QJsonObject object;
    object.insert("series", summary.series);
    object.insert("database", record.database);
    object.insert("cards", summary.cards);
    object.insert("first_value", summary.first_value);
    object.insert("last_value", summary.last_value);
    object.insert("failures", summary.failures);
    object.insert("gaps", summary.gaps);
    object.insert("reissues", summary.reissues);
    object.insert("stations", QJsonArray::fromStringList(summary.stations));
    PrintJson(object);
    return kExitDone;
  }
  const QList<QPair<const char *, QString>> lines = {
      {"series", summary.series},
      {"database", record.database},
      {"cards", QString::number(summary.cards)},
      {"first value", summary.first_value},
      {"last value", summary.last_value},
      {"failures", QString::number(summary.failures)},
      {"gaps", QString::number(summary.gaps)},
      {"reissues", QString::number(summary.reissues)},
      {"stations", summary.stations.join(", ")},
  };
  for (const auto &[label, value] : lines) {
    std::printf("%-12s %s\n", (QString(label) + ':').toUtf8().constData(),
                value.toUtf8().constData());
  }
  std::fflush(stdout);
  return kExitDone;
}

// Writes `bytes` to `output`, or to stdout when it is empty.
int Put(const QByteArray &bytes, const QString &output, const char *verb) {
  if (output.isEmpty()) {
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) &&
        std::fflush(stdout) == 0;
    if (!written) {
      Error(QString("series %1: standard output could not be written").arg(verb));
      return kExitUsage;
    }
    return kExitDone;
  }
  QString why;
  if (!WriteWholeFile(output, bytes, &why)) {
    Error(QString("series %1: %2").arg(verb, why));
    return kExitUsage;
  }
  return kExitDone;
}

}  // namespace

int RunSeriesCommand(SettingsStore &settings, const QStringList &arguments,
                     const CardOptions &options, const SeriesOptions &series_options) {
  const QString verb = arguments.value(0);
  if (verb != "show" && verb != "export" && verb != "report") {
    Error(
        "series: expected \"show\", \"export --format csv|json [--output FILE]\" or \"report "
        "--output FILE.pdf\"");
    return kExitUsage;
  }
  if (arguments.size() > 1) {
    Error("series " + verb + ": unexpected argument " + arguments[1]);
    return kExitUsage;
  }
  if (verb != "export" && !series_options.format.isEmpty()) {
    Error("series " + verb + ": --format belongs to series export");
    return kExitUsage;
  }
  if (verb == "show" && !series_options.output.isEmpty()) {
    Error("series show: --output belongs to series export and series report");
    return kExitUsage;
  }
  std::optional<LedgerExportFormat> format;
  if (verb == "export") {
    format = LedgerExportFormatFromWord(series_options.format);
    if (!format) {
      Error("series export: --format csv or --format json");
      return kExitUsage;
    }
  }
  if (verb == "report" && series_options.output.isEmpty()) {
    Error("series report: --output FILE.pdf names the report's file");
    return kExitUsage;
  }
  int exit_code = kExitUsage;
  const std::optional<SeriesRecord> record = ReadSeries(settings, options, exit_code);
  if (!record) return exit_code;
  if (verb == "show") return Show(*record, options.json);
  if (verb == "export") {
    return Put(LedgerExport(*format, record->summary, record->entries), series_options.output,
               "export");
  }
  SeriesReportSource source;
  source.summary = record->summary;
  source.entries = record->entries;
  source.ledger_name = record->database;
  source.program_line = QStringLiteral("KV-DESFire Quillmate " QUILLMATE_VERSION);
  source.made_at = QDateTime::currentDateTimeUtc();
  return Put(SeriesReportPdf(source), series_options.output, "report");
}

std::unique_ptr<QCoreApplication> MakeCliApplication(int &argc, char **argv) {
  bool series = false;
  bool report = false;
  for (int i = 1; i < argc; ++i) {
    const QByteArray word(argv[i]);
    series = series || word == "series";
    report = report || word == "report";
  }
  if (series && report) {
    // The command line shows nothing on a screen: a display it might name is not needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
  }
  return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace quillmate::cli
