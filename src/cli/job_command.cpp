// "job show", "job set" and "job check": the job of the settings or of a job file, printed,
// changed key by key, and checked.
#include "cli/job_command.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdio>

#include "cli/cli_job.h"
#include "cli/cli_ledger.h"
#include "cli/cli_output.h"
#include "cli/exit_codes.h"
#include "cli/key_files.h"
#include "writer/job/data_codec.h"
#include "writer/job/job_file.h"
#include "writer/job/job_keys.h"
#include "writer/job/job_risks.h"
#include "writer/job/key_plan.h"

namespace quillmate::cli {
namespace {

int ShowJob(const DesfireSet &job, bool show_keys) {
  for (const JobKey &key : JobKeys()) {
    QString text = JobKeyText(key, job);
    // Keys are shown as the window shows them with its key display off.
    if (key.kind == JobKeyKind::kKey && !show_keys) text.fill(u'*');
    std::printf("%s=%s\n", key.name, text.toUtf8().constData());
  }
  return kExitDone;
}

// Applies KEY=VALUE assignments to the job; a key's value "@FILE" is read from FILE ("@-":
// standard input), so that it does not show in `ps`. False after naming the bad one on stderr.
bool Assign(const QStringList &assignments, DesfireSet &job) {
  KeyFileReader key_files;
  for (const QString &assignment : assignments) {
    const qsizetype equals = assignment.indexOf('=');
    const QString name = assignment.left(equals);
    const JobKey *key = equals > 0 ? FindJobKey(name) : nullptr;
    if (key == nullptr) {
      Error("job set: unknown key " + name);
      return false;
    }
    QString text = assignment.mid(equals + 1);
    // '@' is no hex digit: a key text that starts with it can only name a file.
    if (key->kind == JobKeyKind::kKey && text.startsWith('@')) {
      const QString file = text.mid(1);
      if (!key_files.Read(file, QString("job set: %1=@%2").arg(name, file), text)) return false;
    }
    if (!SetJobKeyText(*key, job, text)) {
      if (key->kind == JobKeyKind::kKey) {
        Error(QString("job set: %1: a key is exactly 32 hex digits (empty: the factory key)")
                  .arg(name));
      } else {
        Error(QString("job set: %1: invalid value%2")
                  .arg(name, key->kind == JobKeyKind::kHex ? " (hex)" : ""));
      }
      return false;
    }
  }
  return true;
}

int CheckJob(SettingsStore &settings, const QStringList &arguments, int series_cards) {
  if (arguments.size() > 1) {
    Error("job check: unexpected argument " + arguments[1]);
    return kExitUsage;
  }
  const JobSource source = LoadCliJob(settings, arguments.value(0));
  if (!source.ok) return kExitUsage;
  KeyPlan plan;
  const JobCheck check = ValidateWriteJob(source.job, plan);
  if (!check.ok) {
    Error(JobFieldKeyName(check.field) + ": " + check.message);
    return kExitUsage;
  }
  const QStringList risks = JobRisks(source.job, series_cards);
  for (const QString &risk : risks) std::printf("warning: %s\n", risk.toUtf8().constData());
  return risks.isEmpty() ? kExitDone : kExitCardFailed;
}

}  // namespace

int RunJobCommand(SettingsStore &settings, const QStringList &arguments, bool show_keys,
                  const CardOptions &options) {
  const int series_cards = options.count;
  const bool yes = options.yes;
  const QStringList verbs = {"show", "set", "check"};
  if (arguments.isEmpty() || !verbs.contains(arguments[0])) {
    Error("job: expected \"show [FILE]\", \"set [FILE] KEY=VALUE ...\" or \"check [FILE]\"");
    return kExitUsage;
  }
  if (arguments[0] == "check") return CheckJob(settings, arguments.mid(1), series_cards);
  const bool show = arguments[0] == "show";
  QStringList rest = arguments.mid(1);
  QString file;
  if (!rest.isEmpty() && !rest.front().contains('=')) file = WithJobFileExtension(rest.takeFirst());

  DesfireSet job;
  QStringList unreadable;
  if (file.isEmpty()) {
    job = settings.LoadJob(&unreadable);
  } else if (QFileInfo::exists(file) || show) {
    const JobFileResult loaded = LoadJobFile(file, job);
    if (!loaded.ok) {
      Error(loaded.message);
      return kExitUsage;
    }
  }
  if (show) {
    if (!rest.isEmpty()) {
      Error("job show: unexpected argument " + rest.front());
      return kExitUsage;
    }
    for (const QString &key : unreadable) {
      Error(QString("the stored %1 cannot be deciphered; %2").arg(key, SetKeyAgainHint(key)));
    }
    return ShowJob(job, show_keys);
  }

  if (rest.isEmpty()) {
    Error("job set: no KEY=VALUE given");
    return kExitUsage;
  }
  const QString stored_next = job.data;
  if (!Assign(rest, job)) return kExitUsage;
  // Winding a series back puts its values on a second card: only on the operator's word. A
  // counting series asks its ledger which values it gave out.
  const bool ledger_decides = job.data != stored_next && IsCountingSeries(job);
  OpenedLedger opened;
  LedgerHolds held = LedgerHolds::kNo;
  if (ledger_decides) {
    opened = OpenCliLedger(settings, options, file, job);
    if (opened.ledger == nullptr) return kExitLedger;
    held = HeldInLedger(opened, job, job.data, yes,
                        "--yes sets it all the same; write then asks for --reissue.");
    if (held == LedgerHolds::kFailed) return kExitLedger;
    if (held == LedgerHolds::kRefused) return kExitUsage;
  }
  if (held == LedgerHolds::kNo && job.data != stored_next &&
      ValueAlreadyGivenOut(job, job.data, stored_next) &&
      !GivenOutValueConfirmed(yes, job.data, stored_next,
                              QString("job set: Wert: this series has given out %1 already (its "
                                      "next value is %2); --yes sets it anyway")
                                  .arg(job.data, stored_next))) {
    return kExitUsage;
  }
  // Saving writes every key: a stored key that does not decipher would be replaced by an empty
  // one unless it is set anew here.
  for (const QString &key : unreadable) {
    const auto sets_it = [&key](const QString &assignment) {
      return assignment.startsWith(key + '=');
    };
    if (std::any_of(rest.begin(), rest.end(), sets_it)) continue;
    Error(
        QString("job set: the stored %1 cannot be deciphered; %2").arg(key, SetKeyAgainHint(key)));
    return kExitUsage;
  }
  const JobCheck ranges = CheckJobRanges(job);
  if (!ranges.ok) {
    Error(QString("job set: %1: %2").arg(JobFieldKeyName(ranges.field), ranges.message));
    return kExitUsage;
  }
  if (file.isEmpty()) {
    if (!settings.SaveJob(job)) {
      Error("job set: the settings could not be written: " + settings.FileName());
      return kExitUsage;
    }
  } else {
    const JobFileResult saved = SaveJobFile(file, job);
    if (!saved.ok) {
      Error("job set: " + saved.message);
      return kExitUsage;
    }
  }
  // The file first: should the ledger fail now, the next write finds a stored value the ledger
  // never gave out and takes it as the start value all the same.
  if (ledger_decides && !opened.ledger->SetNext(opened.series, job.data)) {
    Error("job set: " + opened.ledger->Failure());
    return kExitLedger;
  }
  return kExitDone;
}

}  // namespace quillmate::cli
