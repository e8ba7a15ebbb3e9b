#include "cli/card_commands.h"

#include <signal.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>

#include "cli/cli_job.h"
#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "cli/exit_codes.h"
#include "writer/beeper.h"
#include "writer/job_keys.h"
#include "writer/job_risks.h"
#include "writer/key_plan.h"
#include "writer/operations.h"

namespace quillmate::cli {
namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
  g_interrupted = true;
}

// Ctrl-C, and the SIGTERM a service manager or `timeout` sends, only ask the cycle to stop; the
// card in progress is finished first.
void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

QJsonObject CardObject(bool write, bool ok, const QByteArray &uid, const QString &value,
                       const QStringList &lines) {
  return {{"op", write ? "write" : "read"},
          {"ok", ok},
          {"uid", UidHex(uid)},
          {"value", value},
          {"lines", QJsonArray::fromStringList(lines)}};
}

}  // namespace

int RunCardOperation(SettingsStore &settings, const CardOptions &options, bool write) {
  const OperatorSettings operator_settings = settings.LoadOperatorSettings();

  JobSource source = LoadCliJob(settings, options.job_file);
  if (!source.ok) return kExitUsage;
  DesfireSet &job = source.job;
  if (options.value_given) job.data = options.value;
  // The whole job check runs before the reader is opened: a refused job never reaches it, and the
  // message names the job key to correct.
  KeyPlan plan;
  const JobCheck check = write ? ValidateWriteJob(job, plan) : ValidateReadJob(job, plan);
  if (!check.ok) {
    Error(JobFieldKeyName(check.field) + ": " + check.message);
    return kExitUsage;
  }

  // What the job check accepts but is probably not meant, said before the first card.
  if (write) {
    for (const QString &risk : JobRisks(job, options.cycle ? 0 : std::max(options.count, 1))) {
      Error("warning: " + risk);
    }
  }

  const int handle = OpenCliReader(operator_settings, options);
  if (handle == 0) return kExitNoReader;

  CardSession session(handle, operator_settings, options);
  CliFrontEnd &front_end = session.front_end;
  WriterContext &context = session.context;

  int exit_code = kExitDone;
  {
    // The tone after a written card, as the GUI plays it ("BeepTime", 0: none); silent on a
    // machine without a sound device.
    AlsaBeeper beeper;
    CardOperations operations(context, job, source.value_store.get(), &beeper);
    operations.SetCyclePeriodMs(operator_settings.cycle_period_ms);
    operations.SetBeepTimeMs(operator_settings.beep_time_ms);
    LogSettings logs = operator_settings.logs;
    if (!options.log_file.isEmpty()) {
      (write ? logs.write_enabled : logs.read_enabled) = true;
      (write ? logs.write_file : logs.read_file) = options.log_file;
    }
    operations.SetLogSettings(logs);

    int cards_done = 0;
    front_end.SetCardDone([&] {
      ++cards_done;
      if (options.json) {
        PrintJson(CardObject(write, true, context.cards.last_uid, operations.LastCardValue(),
                             front_end.TakeLines()));
      }
    });

    if (options.count <= 0 && !options.cycle) {
      const RunResult result = write ? operations.SingleWrite() : operations.SingleRead();
      if (!result.check.ok) {
        context.report.Line(result.check.message);
        exit_code = kExitUsage;
      } else if (!result.done) {
        if (options.json) {
          PrintJson(CardObject(write, false, result.card_uid, QString(), front_end.TakeLines()));
        }
        exit_code = kExitCardFailed;
      }
    } else {
      const JobCheck started = write ? operations.StartWriteCycle() : operations.StartReadCycle();
      if (!started.ok) {
        context.report.Line(started.message);
        exit_code = kExitUsage;
      } else {
        g_interrupted = false;
        CatchInterrupt();
        QJsonObject last_failure;
        while (!g_interrupted && (options.cycle || cards_done < options.count)) {
          const int done_before = cards_done;
          operations.Tick();
          // A tick that looked and found no new card says nothing; one that failed on a card
          // left status lines. A card that keeps failing is reported once, not every tick.
          if (options.json && cards_done == done_before) {
            const QStringList lines = front_end.TakeLines();
            if (!lines.isEmpty()) {
              const QJsonObject failure =
                  CardObject(write, false, context.cards.current_uid, QString(), lines);
              if (failure != last_failure) PrintJson(failure);
              last_failure = failure;
            }
          }
          if (g_interrupted || (!options.cycle && cards_done >= options.count)) break;
          // The core ended the cycle (a series whose next value no longer fits the file).
          if (operations.RunningCycle() == Cycle::kNone) break;
          QThread::msleep(static_cast<unsigned long>(operations.RunningPeriodMs()));
        }
        operations.StopCycle();
        // Fewer cards than asked for, or a series that ended on its own, is no success.
        if (operations.SeriesOutgrewTheFile() || (!options.cycle && cards_done < options.count)) {
          exit_code = kExitCardFailed;
        }
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
      }
    }
  }
  return exit_code;
}

}  // namespace quillmate::cli
