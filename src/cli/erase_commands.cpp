// "format" and "delete-app": erasing a card completely, or removing one application from it.
#include "cli/erase_commands.h"

#include <unistd.h>

#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/cli_job.h"
#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "cli/exit_codes.h"
#include "writer/cards/format_delete.h"
#include "writer/job/job_keys.h"
#include "writer/job/key_plan.h"

namespace quillmate::cli {
namespace {

// The core's erase actions share one signature.
using EraseAction = RunResult (*)(WriterContext &, const DeleteFields &);

// The key text to use: the option when given (an empty option asks for the factory default key;
// an option is the card's own key, never derived), else the job's key with its derivation and
// the job's system identifier. False when the job was needed and could not be loaded.
bool ChooseKey(SettingsStore &settings, const CardOptions &options, bool given,
               const QString &option_text, QString DesfireSet::*job_key,
               bool DesfireSet::*job_derived, QString &key, bool &derived,
               QString &system_identifier) {
  if (given) {
    key = option_text;
    return true;
  }
  // The job whose keys stand in for a key option that was not given: the --job file, else the
  // job in the settings.
  const JobSource source = LoadCliJob(settings, options.job_file);
  if (!source.ok) return false;
  key = source.job.*job_key;
  derived = source.job.*job_derived;
  system_identifier = source.job.system_identifier;
  return true;
}

// --aid as DeleteFields takes it. Only hex digits are accepted (no sign, no "0x", no blanks), so a
// typing slip never selects some other application. A value beyond FFFFFF is kept beyond it,
// bounded to fit an int, so that the field check refuses it with its range message. False after
// saying why on stderr.
bool ParseAid(const QString &text, int &app_id) {
  if (text.isEmpty() || !IsHexText(text)) {
    Error("--aid: not a hex number from 0 to FFFFFF");
    return false;
  }
  bool fits = false;
  const qulonglong value = text.toULongLong(&fits, 16);
  app_id =
      fits && value <= static_cast<qulonglong>(kMaxAppId) ? static_cast<int>(value) : kMaxAppId + 1;
  return true;
}

// Where a refused field came from, so the message names what the operator has to correct.
QString FieldSource(JobField field, const CardOptions &options) {
  switch (field) {
    case JobField::kAppId:
      return "--aid";
    case JobField::kCardKey:
      return options.card_key_given ? "--card-key" : "the job's " + JobFieldKeyName(field);
    case JobField::kAppKey:
      return options.app_key_given ? "--app-key" : "the job's " + JobFieldKeyName(field);
    case JobField::kSystemIdentifier:
      return "the job's " + JobFieldKeyName(field);
    default:
      return "delete fields";
  }
}

// On a terminal the operator confirms an erase (a typo in a command line must not cost a card's
// keys); --yes, or no terminal (a script), goes ahead.
bool ConfirmedByOperator(const CardOptions &options, const QString &question) {
  if (options.yes || !isatty(STDIN_FILENO)) return true;
  std::fprintf(stderr, "%s [y/N] ", question.toUtf8().constData());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "j" || answer == "J";
}

// Asks (ConfirmedByOperator), checks the fields, then runs `action` on the reader and reports as
// write and read do: status lines on stderr, with --json one object on stdout. Result: the
// command's exit code.
int RunErase(SettingsStore &settings, const CardOptions &options, const char *op,
             const QString &question, const DeleteFields &fields, EraseAction action) {
  // A refused field must not reach the reader: checked before the port is opened.
  const JobCheck check = CheckDeleteFields(fields);
  if (!check.ok) {
    Error(FieldSource(check.field, options) + ": " + check.message);
    return kExitUsage;
  }

  const OperatorSettings operator_settings = settings.LoadOperatorSettings();
  if (!ConfirmedByOperator(options, question)) {
    Error("nothing erased");
    return kExitCardFailed;
  }
  const int handle = OpenCliReader(operator_settings, options);
  if (handle == 0) return kExitNoReader;

  QStringList lines;
  RunResult result;
  {
    CardSession session(handle, operator_settings, options);
    result = action(session.context, fields);
    lines = session.front_end.TakeLines();
  }
  if (options.json) {
    PrintJson({{"op", op},
               {"ok", result.done},
               {"uid", UidHex(result.card_uid)},
               {"lines", QJsonArray::fromStringList(lines)}});
  }
  if (result.done) return kExitDone;
  return result.check.ok ? kExitCardFailed : kExitUsage;
}

}  // namespace

int RunFormat(SettingsStore &settings, const CardOptions &options) {
  DeleteFields fields;
  if (!ChooseKey(settings, options, options.card_key_given, options.card_key, &DesfireSet::card_key,
                 &DesfireSet::card_key_derived, fields.card_master_key,
                 fields.card_master_key_derived, fields.system_identifier)) {
    return kExitUsage;
  }
  return RunErase(settings, options, "format",
                  "Erase the whole card on the reader (all applications and files)?", fields,
                  &FormatCard);
}

int RunDeleteApplication(SettingsStore &settings, const CardOptions &options) {
  DeleteFields fields;
  if (!ParseAid(options.aid, fields.app_id)) return kExitUsage;
  if (!ChooseKey(settings, options, options.app_key_given, options.app_key, &DesfireSet::app_key,
                 &DesfireSet::app_key_derived, fields.app_master_key, fields.app_master_key_derived,
                 fields.system_identifier)) {
    return kExitUsage;
  }
  return RunErase(settings, options, "delete-app",
                  QString("Delete application %1 from the card on the reader?")
                      .arg(fields.app_id, 6, 16, QChar('0'))
                      .toUpper(),
                  fields, &DeleteApplication);
}

}  // namespace quillmate::cli
