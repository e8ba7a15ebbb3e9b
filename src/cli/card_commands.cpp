// "write" and "read" on the command line: single cards, --count N and --cycle on the core's
// operations.
#include "cli/card_commands.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>

#include "cli/cli_job.h"
#include "cli/cli_ledger.h"
#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "writer/job/data_codec.h"
#include "writer/job/job_keys.h"
#include "writer/job/job_risks.h"
#include "writer/job/key_plan.h"
#include "writer/reader/reader_port.h"
#include "writer/records/card_log.h"
#include "writer/run/beeper.h"
#include "writer/run/operations.h"
#include "writer/run/series_summary.h"

namespace quillmate::cli {
namespace {

// How often a single run looks for its first card while --wait-card allows.
constexpr int kLookForCardMs = 500;

QJsonObject CardObject(bool write, bool ok, const QByteArray &uid, const QString &value,
                       const QStringList &lines) {
  return {{"op", write ? "write" : "read"},
          {"ok", ok},
          {"uid", UidHex(uid)},
          {"value", value},
          {"lines", QJsonArray::fromStringList(lines)}};
}

// One write or read run of the command, on the open reader.
class CardRun {
 public:
  CardRun(CardSession &session, CardOperations &operations, const CardOptions &options, bool write,
          const ReaderWatch *watch)
      : session_(session),
        operations_(operations),
        options_(options),
        write_(write),
        watch_(watch) {
    session_.front_end.SetCardDone([this] { OnCardDone(); });
    // Without a status box, an error that repeats every tick is shown once.
    session_.context.report.SetSuppressRepeatedLines(true);
  }
  ~CardRun() { session_.front_end.SetCardDone({}); }
  CardRun(const CardRun &) = delete;
  CardRun &operator=(const CardRun &) = delete;

  // One card: the first one laid on the reader within --wait-card seconds.
  int Single() {
    const qint64 deadline =
        QDateTime::currentMSecsSinceEpoch() + static_cast<qint64>(options_.wait_card_s) * 1000;
    const qint64 ledger_deadline =
        QDateTime::currentMSecsSinceEpoch() + static_cast<qint64>(options_.wait_db_s) * 1000;
    // While it waits for the first card, the empty field is reported once.
    session_.context.report.SetTickRunning(true);
    RunResult result;
    for (;;) {
      session_.front_end.StartCard();
      result = write_ ? operations_.SingleWrite() : operations_.SingleRead();
      const bool card_was_there = !result.card_uid.isEmpty();
      // A ledger that failed is waited for within --wait-db, the card left on the reader.
      if (!operations_.LedgerFailure().isEmpty() && !Interrupted() &&
          QDateTime::currentMSecsSinceEpoch() < ledger_deadline) {
        SleepUnlessInterrupted(kLookForCardMs);
        continue;
      }
      if (result.done || !result.check.ok || card_was_there || Interrupted() ||
          QDateTime::currentMSecsSinceEpoch() >= deadline) {
        break;
      }
      SleepUnlessInterrupted(kLookForCardMs);
    }
    session_.context.report.SetTickRunning(false);
    if (!result.check.ok) {
      session_.context.report.Line(result.check.message);
      return kExitUsage;
    }
    if (result.done) return kExitDone;
    if (operations_.HeldValueRefused()) {
      Error("--reissue writes a value the series' ledger holds again");
      return kExitUsage;
    }
    if (options_.json) {
      PrintJson(
          CardObject(write_, false, result.card_uid, QString(), session_.front_end.TakeLines()));
    }
    return operations_.LedgerFailure().isEmpty() ? kExitCardFailed : kExitLedger;
  }

  // --count N or --cycle: the cycle until N cards are done, a signal comes, or the core ends it.
  int Series() {
    const JobCheck started = write_ ? operations_.StartWriteCycle() : operations_.StartReadCycle();
    if (!started.ok) {
      session_.context.report.Line(started.message);
      return kExitUsage;
    }
    QJsonObject last_failure;
    while (!Interrupted() && (options_.cycle || cards_done_ < options_.count)) {
      const int done_before = cards_done_;
      session_.front_end.StartCard();
      operations_.Tick();
      // A tick that looked and found no new card says nothing; one that failed on a card left
      // status lines. A card that keeps failing is reported once, not every tick.
      if (options_.json && cards_done_ == done_before) {
        const QStringList lines = session_.front_end.TakeLines();
        if (!lines.isEmpty()) {
          const QJsonObject failure =
              CardObject(write_, false, session_.context.cards.current_uid, QString(), lines);
          if (failure != last_failure) PrintJson(failure);
          last_failure = failure;
        }
      }
      if (Interrupted() || (!options_.cycle && cards_done_ >= options_.count)) break;
      // The core ended the cycle (a series whose next value no longer fits the file, a store or a
      // log that failed).
      if (operations_.RunningCycle() == Cycle::kNone) break;
      SleepUnlessInterrupted(operations_.RunningPeriodMs());
    }
    operations_.StopCycle();

    const SeriesCounts &counts = operations_.Counts();
    Error(SeriesSummary(counts, SummaryWording::kScripts));
    if (operations_.HeldValueRefused()) {
      Error("--reissue writes a value the series' ledger holds again");
      return kExitUsage;
    }
    if (!operations_.LedgerFailure().isEmpty()) return kExitLedger;
    // Fewer cards than asked for, a series that ended on its own, or an endless series that met
    // failures: no success.
    const bool short_count = !options_.cycle && cards_done_ < options_.count;
    const bool cycle_failed =
        options_.cycle && (counts.failed_attempts > 0 || (watch_ && watch_->Losses() > 0));
    if (short_count || cycle_failed || operations_.SeriesOutgrewTheFile() ||
        !operations_.LogFailure().isEmpty() || !operations_.StoreFailure().isEmpty()) {
      return kExitCardFailed;
    }
    return kExitDone;
  }

 private:
  void OnCardDone() {
    ++cards_done_;
    const QString value = operations_.LastCardValue();
    if (options_.json) {
      PrintJson(CardObject(write_, true, session_.context.cards.last_uid, value,
                           session_.front_end.TakeLines()));
    } else if (!write_) {
      std::printf("%s\n", value.toUtf8().constData());
      std::fflush(stdout);
    }
    if (options_.count > 0 && isatty(STDERR_FILENO)) {
      std::fprintf(stderr, "%d/%d\n", cards_done_, options_.count);
    }
  }

  CardSession &session_;
  CardOperations &operations_;
  const CardOptions &options_;
  const bool write_;
  const ReaderWatch *watch_;
  int cards_done_ = 0;
};

}  // namespace

int RunCardOperation(SettingsStore &settings, const CardOptions &options, bool write) {
  const OperatorSettings operator_settings = settings.LoadOperatorSettings();

  JobSource source = LoadCliJob(settings, options.job_file);
  if (!source.ok) return kExitUsage;
  DesfireSet &job = source.job;
  const QString stored_next = job.data;
  if (options.value_given) job.data = options.value;
  // The whole job check runs before the reader is opened: a refused job never reaches it, and the
  // message names the job key to correct.
  KeyPlan plan;
  const JobCheck check = write ? ValidateWriteJob(job, plan) : ValidateReadJob(job, plan);
  if (!check.ok) {
    Error(JobFieldKeyName(check.field) + ": " + check.message);
    return kExitUsage;
  }

  // A card must not leave without its record: a log that cannot take lines is refused before
  // the first card, naming the file.
  LogSettings logs = operator_settings.logs;
  if (!options.log_file.isEmpty()) {
    (write ? logs.write_enabled : logs.read_enabled) = true;
    (write ? logs.write_file : logs.read_file) = options.log_file;
  }
  if (write ? logs.write_enabled : logs.read_enabled) {
    const LogFileCheck log = CheckLogFile(write ? logs.write_file : logs.read_file);
    if (!log.ok()) {
      Error("log: " + log.message);
      return kExitUsage;
    }
  }
  // A counting series keeps its values in the series' ledger, opened before the reader: a ledger
  // that cannot be reached stops the run before the first card, never falls back to the file.
  OpenedLedger opened;
  const bool ledger_used = write && IsCountingSeries(job);
  if (ledger_used) {
    opened = OpenCliLedger(settings, options, source.job_file, job);
    if (opened.ledger == nullptr) return kExitLedger;
  }
  // --value starts the series anew; a value it has given out already only on the operator's word:
  // one the ledger holds with --reissue; one below the series' next that the ledger does not
  // know (given out before the ledger, or by a job that did not count) with --yes.
  LedgerHolds held = LedgerHolds::kNo;
  QString series_next = stored_next;
  if (ledger_used && options.value_given) {
    held = HeldInLedger(opened, job, options.value, options.reissue,
                        "--reissue writes it again as a reissue.");
    if (held == LedgerHolds::kFailed) return kExitLedger;
    if (held == LedgerHolds::kRefused) return kExitUsage;
    // Other stations sharing the series may have counted on beyond this file's value.
    series_next = opened.ledger->Next(opened.series).value_or(stored_next);
  }
  if (held == LedgerHolds::kNo && options.value_given &&
      ValueAlreadyGivenOut(job, options.value, series_next) &&
      !GivenOutValueConfirmed(options.yes, options.value, series_next,
                              QString("--value %1: this series has given out that value already "
                                      "(its next value is %2); --yes writes it again")
                                  .arg(options.value, series_next))) {
    return kExitUsage;
  }

  // What the job check accepts but is probably not meant, said before the first card.
  if (write) {
    for (const QString &risk :
         JobRisks(job, options.cycle ? kCycleLookAheadCards : std::max(options.count, 1))) {
      Error("warning: " + risk);
    }
  }

  const int handle = OpenCliReader(operator_settings, options);
  if (handle == 0) return kExitNoReader;

  CardSession session(handle, operator_settings, options);
  // The tone after a written card, as the GUI plays it ("BeepTime", 0: none); silent on a
  // machine without a sound device.
  AlsaBeeper beeper;
  CardOperations operations(session.context, job, source.value_store.get(), &beeper);
  operations.SetCyclePeriodMs(operator_settings.cycle_period_ms);
  operations.SetBeepTimeMs(operator_settings.beep_time_ms);
  if (ledger_used) {
    if (!operations.SetLedger(opened.ledger.get(), opened.series,
                              LedgerWriter(job, QCoreApplication::applicationName()))) {
      Error(operations.LedgerFailure());
      return kExitLedger;
    }
    // Without a question on the command line, --reissue is the operator's answer.
    const bool reissue = options.reissue;
    operations.SetReissueQuestion([reissue](const QString &) { return reissue; });
    operations.SetLedgerWaitMs(static_cast<qint64>(options.wait_db_s) * 1000);
  }
  if (options.value_given && !operations.SetSeriesValue(options.value)) {
    if (!operations.LedgerFailure().isEmpty()) {
      Error(operations.LedgerFailure());
      return kExitLedger;
    }
    Error(
        QString("--value %1: the value could not be stored in %2")
            .arg(options.value, source.job_file.isEmpty() ? settings.FileName() : source.job_file));
    return kExitUsage;
  }
  operations.SetLogSettings(logs);
  operations.SetVerifyAfterWrite(options.verify || operator_settings.verify_after_write);

  // A reader lost during a series is reported at once and opened again when it comes back.
  ReaderWatch watch(ChosenPort(operator_settings, options));
  operations.SetReaderWatch(&watch);

  CatchInterrupts();
  CardRun run(session, operations, options, write, &watch);
  const bool series = options.count > 0 || options.cycle;
  const int exit_code = series ? run.Series() : run.Single();
  ReleaseInterrupts();
  return exit_code;
}

}  // namespace quillmate::cli
