// quillmate-cli: the headless front end for scripts and production lines, on the same core and
// the same settings as the GUI.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <memory>

#include "cli/card_commands.h"
#include "cli/cli_session.h"
#include "cli/erase_commands.h"
#include "cli/exit_codes.h"
#include "cli/info_command.h"
#include "cli/job_command.h"
#include "cli/key_files.h"
#include "cli/series_command.h"
#include "support/core_dumps.h"
#include "writer/language/translation.h"
#include "writer/settings/settings_store.h"

namespace {

using namespace quillmate;
using namespace quillmate::cli;

constexpr char kUsage[] = R"(
Commands:
  write   [--job FILE] [--value TEXT] [--count N | --cycle] [--log FILE] [--wait-card S] [--verify]
          [--series-db CONNINFO] [--series NAME] [--reissue] [--wait-db S]
  read    [--job FILE] [--count N | --cycle] [--log FILE] [--wait-card S]
  format  [--card-key HEX | --card-key-file FILE] [--yes]
  delete-app --aid HEX [--app-key HEX | --app-key-file FILE] [--yes]
  job show [FILE] [--show-keys]   job set [FILE] KEY=VALUE ...   job check [FILE] [--count N]
  info                       (opens the reader: device name, version, firmware, port)
  series show [--json]   series export --format csv|json [--output FILE]
  series report --output FILE.pdf          (each with [--job FILE] [--series NAME] [--series-db ...])

Without --job the job is the one in the settings. Job keys: AutoIncrement, Wert, AutoNull,
PrefixZulassen, Byteanzahl, Zahlenformat, Darstellung, Ausrichtung, AppID (hex), FileID (hex),
FileMode, KeyAnzahl, ReadKeyNr, WriteKeyNr, ReadWriteKeyNr, CardKey, AppKey, ReadKey, WriteKey,
ReadWriteKey (keys in hex, up to 32 digits; KEY=@FILE reads the key from FILE, @- from stdin),
CardKeyProKarte, AppKeyProKarte, ReadKeyProKarte, WriteKeyProKarte, ReadWriteKeyProKarte (1: the
key is a master key, each card gets its own key derived from it and the card's UID), SystemKennung
(part of every derived key: a text, or 0x and hex digit pairs; at most 21 bytes).
A key given as an argument shows in `ps` to every user of the machine: give keys as files
(--card-key-file, --app-key-file, KEY=@FILE; "-" reads standard input). A key file holds exactly
32 hex digits and may end with a line break.
write without --count/--cycle writes one card; --count N runs the write cycle until N cards were
written (a card left on the reader is not written twice); --cycle runs until Ctrl-C (or
SIGTERM), which ends after the card in progress; read --count N reads N different cards. Without a terminal (or with --json) a request to put the card back is
answered by looking for it every half second for --wait-card seconds (default 10).
format erases the whole card and gives it the factory default master key; delete-app removes one
application. On a terminal both ask first (--yes does not). Without a key option they use the job's "CardKey" / "AppKey"
(derived for the card when the job derives it); a key option is the card's own key.
Status lines go to stderr; --json prints one object per card on stdout.
write keeps every value of a counting series in the series' ledger: a SQLite file beside the
settings or job file, or the PostgreSQL database of --series-db (or the settings' [Serie]
Datenbank; a libpq connection string or service=NAME, never with a password: use ~/.pgpass or a
service file). A value the ledger holds is refused unless --reissue; a ledger that fails ends the
run with exit code 4, or is waited for up to --wait-db seconds.
series reads the ledger of the series a write with the same --job, --series and --series-db would
write into: show prints its summary (cards, first and last value, failures, gaps, reissues,
stations); export writes one row per ledger entry (series, value, uid, station, operator,
reserved_at, finished_at, job_fingerprint, result, reissue; times in UTC) to --output FILE or
stdout; report writes the PDF report. A file is written whole or not at all. In CSV a field that
starts with =, +, -, @ gets a leading apostrophe, so that a spreadsheet shows it as text instead
of running it; JSON holds every field unchanged.

Exit codes: 0 done, 1 a card operation failed, 2 usage or a refused job, 3 no reader,
4 the series ledger failed.)";

void UsageError(const QString &text) {
  std::fprintf(stderr, "%s\nSee quillmate-cli --help.\n", text.toUtf8().constData());
}

}  // namespace

int main(int argc, char *argv[]) {
  // Before anything reads a key: the process holds card master keys from here on.
  DisableCoreDumpsUnlessAllowed();
  const std::unique_ptr<QCoreApplication> application = MakeCliApplication(argc, argv);
  QCoreApplication &app = *application;
  // A closed stdout (`| head -1`) gives failed writes, not a killed series.
  signal(SIGPIPE, SIG_IGN);
  QCoreApplication::setApplicationName("quillmate-cli");
  QCoreApplication::setApplicationVersion(QUILLMATE_VERSION);

  QCommandLineParser parser;
  parser.setApplicationDescription("Personalises DESFire EV1 cards in series." + QString(kUsage));
  const QCommandLineOption help({"h", "help"}, "Shows this help.");
  const QCommandLineOption version({"v", "version"}, "Shows the program's version.");
  const QCommandLineOption port({"p", "port"}, "Reader port.", "NAME");
  const QCommandLineOption baud({"b", "baud"}, "Baud rate (plus framing code).", "N");
  const QCommandLineOption timeout({"t", "timeout"}, "Port timeout.", "MS");
  const QCommandLineOption lang({"l", "lang"}, "Language of the status lines.", "de|en");
  const QCommandLineOption config("config", "Keep the settings in DIR.", "DIR");
  const QCommandLineOption json("json", "One JSON object per card on stdout.");
  const QCommandLineOption job("job", "Job file instead of the settings' job.", "FILE");
  const QCommandLineOption value("value", "Data text to start with.", "TEXT");
  const QCommandLineOption count("count", "Number of cards of the series.", "N");
  const QCommandLineOption cycle("cycle", "Run until interrupted.");
  const QCommandLineOption log("log", "Card log file.", "FILE");
  const QCommandLineOption wait_card("wait-card", "Seconds to wait for a card.", "S");
  const QCommandLineOption card_key("card-key", "Card master key for format.", "HEX");
  const QCommandLineOption aid("aid", "Application to delete.", "HEX");
  const QCommandLineOption app_key("app-key", "Master key of the application to delete.", "HEX");
  const QCommandLineOption card_key_file(
      "card-key-file", "format: read the card master key from FILE (- stdin).", "FILE");
  const QCommandLineOption app_key_file(
      "app-key-file", "delete-app: read the application's master key from FILE (- stdin).", "FILE");
  const QCommandLineOption show_keys("show-keys", "job show: print keys in clear.");
  const QCommandLineOption yes(
      "yes",
      "format, delete-app: erase without asking; write --value, job set Wert=: set a value "
      "the series has given out already.");
  const QCommandLineOption verify("verify", "write: read each card back and compare.");
  const QCommandLineOption series_db(
      "series-db", "write, job set: the series' PostgreSQL database (libpq string, no password).",
      "CONNINFO");
  const QCommandLineOption series("series", "write, job set: the series' name.", "NAME");
  const QCommandLineOption reissue("reissue",
                                   "write: write a value the series' ledger holds again.");
  const QCommandLineOption wait_db("wait-db", "write: seconds to wait for a failing ledger.", "S");
  parser.addOptions({help,    version,   port,  baud,   timeout,       lang,        config,   json,
                     job,     value,     count, cycle,  log,           wait_card,   card_key, aid,
                     app_key, show_keys, yes,   verify, card_key_file, app_key_file});
  parser.addOptions({series_db, series, reissue, wait_db});
  const QCommandLineOption format("format", "series export: csv or json.", "csv|json");
  const QCommandLineOption output("output", "series export, series report: the file to write.",
                                  "FILE");
  parser.addOptions({format, output});
  parser.addPositionalArgument("command", "write, read, format, delete-app, job, series or info.");

  if (!parser.parse(QCoreApplication::arguments())) {
    UsageError(parser.errorText());
    return kExitUsage;
  }
  if (parser.isSet(help)) {
    std::printf("%s", parser.helpText().toUtf8().constData());
    return kExitDone;
  }
  if (parser.isSet(version)) {
    std::printf("quillmate-cli %s\n", QUILLMATE_VERSION);
    return kExitDone;
  }
  const QStringList words = parser.positionalArguments();
  if (words.isEmpty()) {
    UsageError("no command given");
    return kExitUsage;
  }
  const QString command = words.front();

  CardOptions options;
  bool ok = true;
  auto number = [&](const QCommandLineOption &option, int minimum) {
    if (!parser.isSet(option)) return -1;
    bool parsed = false;
    const int result = parser.value(option).toInt(&parsed);
    if (!parsed || result < minimum) {
      UsageError("--" + option.names().last() + ": not a number of at least " +
                 QString::number(minimum));
      ok = false;
    }
    return result;
  };
  options.port = parser.value(port);
  options.baud = number(baud, 0);
  options.timeout_ms = number(timeout, 0);
  options.count = parser.isSet(count) ? number(count, 1) : 0;
  options.wait_card_s = parser.isSet(wait_card) ? number(wait_card, 0) : 10;
  options.cycle = parser.isSet(cycle);
  options.json = parser.isSet(json);
  options.job_file = parser.value(job);
  options.value = parser.value(value);
  options.value_given = parser.isSet(value);
  options.log_file = parser.value(log);
  options.card_key = parser.value(card_key);
  options.card_key_given = parser.isSet(card_key);
  options.aid = parser.value(aid);
  options.app_key = parser.value(app_key);
  options.app_key_given = parser.isSet(app_key);
  options.yes = parser.isSet(yes);
  options.verify = parser.isSet(verify);
  options.series_db = parser.value(series_db);
  options.series = parser.value(series);
  options.reissue = parser.isSet(reissue);
  options.wait_db_s = parser.isSet(wait_db) ? number(wait_db, 0) : 0;
  if (parser.isSet(lang)) {
    const QString text = parser.value(lang);
    if (text != "de" && text != "en") {
      UsageError("--lang: de or en");
      ok = false;
    }
    options.language = text == "en" ? Language::kEnglish : Language::kGerman;
  }
  if (options.cycle && parser.isSet(count)) {
    UsageError("--count and --cycle exclude each other");
    ok = false;
  }
  const bool card_command = command == "write" || command == "read";
  const bool job_check = command == "job" && words.value(1) == "check";
  if (!card_command &&
      (options.cycle || parser.isSet(log) || (parser.isSet(count) && !job_check))) {
    UsageError("--count, --cycle and --log belong to write and read");
    ok = false;
  }
  if (command != "write" && (options.value_given || options.verify)) {
    UsageError("--value and --verify belong to write");
    ok = false;
  }
  if (command != "write" && (options.reissue || parser.isSet(wait_db))) {
    UsageError("--reissue and --wait-db belong to write");
    ok = false;
  }
  if (command != "write" && command != "job" && command != "series" &&
      (parser.isSet(series_db) || parser.isSet(series))) {
    UsageError("--series-db and --series belong to write, job set and series");
    ok = false;
  }
  if (command != "series" && (parser.isSet(format) || parser.isSet(output))) {
    UsageError("--format and --output belong to series export and series report");
    ok = false;
  }
  if (!card_command && parser.isSet(wait_card)) {
    UsageError("--wait-card belongs to write and read");
    ok = false;
  }
  if (command != "format" && (parser.isSet(card_key) || parser.isSet(card_key_file))) {
    UsageError("--card-key and --card-key-file belong to format");
    ok = false;
  }
  if (command != "delete-app" &&
      (parser.isSet(aid) || parser.isSet(app_key) || parser.isSet(app_key_file))) {
    UsageError("--aid, --app-key and --app-key-file belong to delete-app");
    ok = false;
  }
  if (parser.isSet(card_key) && parser.isSet(card_key_file)) {
    UsageError("--card-key and --card-key-file exclude each other");
    ok = false;
  }
  if (parser.isSet(app_key) && parser.isSet(app_key_file)) {
    UsageError("--app-key and --app-key-file exclude each other");
    ok = false;
  }
  if (command != "format" && command != "delete-app" && command != "write" && command != "job" &&
      options.yes) {
    UsageError("--yes belongs to format, delete-app, write and job set");
    ok = false;
  }
  if (command != "job" && parser.isSet(show_keys)) {
    UsageError("--show-keys belongs to job show");
    ok = false;
  }
  if (command == "delete-app" && !parser.isSet(aid)) {
    UsageError("delete-app needs --aid");
    ok = false;
  }
  if (!ok) return kExitUsage;
  KeyFileReader key_files;
  if (parser.isSet(card_key_file)) {
    const QString file = parser.value(card_key_file);
    if (!key_files.Read(file, "--card-key-file " + file, options.card_key)) return kExitUsage;
    options.card_key_given = true;
  }
  if (parser.isSet(app_key_file)) {
    const QString file = parser.value(app_key_file);
    if (!key_files.Read(file, "--app-key-file " + file, options.app_key)) return kExitUsage;
    options.app_key_given = true;
  }

  const std::unique_ptr<SettingsStore> store =
      parser.isSet(config) ? std::make_unique<SettingsStore>(parser.value(config))
                           : std::make_unique<SettingsStore>();
  SettingsStore &settings = *store;
  // Defaults standing in for settings that could not be read would put the default job on cards
  // and overwrite what the file held: every command refuses instead.
  if (!settings.Readable()) {
    UsageError(settings.Problem());
    return kExitUsage;
  }
  // The core's texts follow --lang, else the settings' "Sprache"; English needs the translation
  // file, without it they stay German.
  if (ChosenLanguage(settings.LoadOperatorSettings(), options) == Language::kEnglish) {
    InstallEnglishTexts(app);
  }

  if (command == "job") {
    return RunJobCommand(settings, words.mid(1), parser.isSet(show_keys), options);
  }
  if (command == "series") {
    return RunSeriesCommand(settings, words.mid(1), options,
                            SeriesOptions{parser.value(format), parser.value(output)});
  }
  if (words.size() > 1) {
    UsageError("unexpected argument " + words[1]);
    return kExitUsage;
  }
  if (command == "info") return RunInfo(settings, options);
  if (card_command) return RunCardOperation(settings, options, command == "write");
  if (command == "format") return RunFormat(settings, options);
  if (command == "delete-app") return RunDeleteApplication(settings, options);
  UsageError("unknown command " + command);
  return kExitUsage;
}
