// The card operations a front end starts: one write or read of the card on the reader, the single
// runs behind the "Einzeln" buttons, and the write and read cycles that a front end's timer
// drives through Tick(). The core has no timer of its own: the GUI connects a QTimer of
// CyclePeriodMs() to Tick(), the CLI calls it from a loop.
//
// The value of a counting series lives where the job came from (settings or job file), reached
// through a ValueStore: the next value is stored before a card's data are written, so that a
// process killed at any moment leaves at most a gap in the series, never one value on two cards.
// The store owns the series' next value, not the job's data text: that text only shows a value
// (the next one, one read from a card, one the operator is typing), and a write never takes its
// value from there. The operator's own value reaches the series through SetSeriesValue().
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <optional>

#include "writer/cards/writer_context.h"
#include "writer/job/desfire_set.h"
#include "writer/job/job_check.h"
#include "writer/job/key_plan.h"
#include "writer/ledger/series_ledger.h"
#include "writer/records/card_log.h"
#include "writer/run/beeper.h"
#include "writer/run/run_result.h"

namespace quillmate {

class ReaderWatch;

// Where the data text of the job is kept between runs (the settings' "Wert", a job file). Several
// processes may share one store (a window and a script, two production lines on one job file):
// every change of the stored value is one locked read-change-write, so each card's value is
// reserved for it alone.
// How long a process waits for another that reserves a value of the same series.
inline constexpr int kValueLockTimeoutMs = 5000;

class ValueStore {
 public:
  // What to store instead of the stored text; nullopt leaves it as it is.
  using Change = std::function<std::optional<QString>(const QString &stored)>;

  virtual ~ValueStore() = default;

  // The stored text as this process last read or wrote it: the value the job was loaded with,
  // then each value it stored. A stored text that differs means another process moved on.
  const QString &Seen() const { return seen_; }
  void SetSeen(const QString &value) { seen_ = value; }

  // Reads the stored text and stores what `change` makes of it, as one step no other process
  // sharing the store can come between. True when done (Seen() then holds the text now stored);
  // false when the store could not be locked, read or written, and nothing was changed.
  bool Update(const Change &change);
  // Stores `value` whatever is stored (an operator's new start value).
  bool Store(const QString &value) {
    return Update([&value](const QString &) { return std::optional<QString>(value); });
  }
  // Why the last Update() failed, naming the file and the system's reason; empty after a success.
  const QString &Failure() const { return failure_; }

 protected:
  // The locked read-change-write of the store behind it; a failure sets its reason first.
  virtual bool LockedUpdate(const Change &change) = 0;
  void SetFailure(const QString &failure) { failure_ = failure; }

 private:
  QString seen_;
  QString failure_;
};

// Timer period of both cycles and length of the tone after a written card, in milliseconds.
inline constexpr int kMinCyclePeriodMs = 100;
inline constexpr int kMaxCyclePeriodMs = 10000;
inline constexpr int kDefaultCyclePeriodMs = 250;
inline constexpr int kMinBeepTimeMs = 0;  // 0: no tone
inline constexpr int kMaxBeepTimeMs = 1000;
inline constexpr int kDefaultBeepTimeMs = 300;

bool IsValidCyclePeriod(qint64 ms);
bool IsValidBeepTime(qint64 ms);

enum class Cycle { kNone, kWrite, kRead };

// What the operations since the start of the last cycle (or the last ResetCounts()) came to, for
// a series' summary (writer/run/series_summary.h).
struct SeriesCounts {
  int cards_done = 0;       // cards written or read
  int failed_attempts = 0;  // attempts on a card on the reader that did not succeed
  int values_skipped = 0;   // values not given again because a card may hold them
};

// The card logs as the operator set them; a log is written only while it is enabled.
struct LogSettings {
  bool write_enabled = false;
  QString write_file;
  bool read_enabled = false;
  QString read_file;
};

class CardOperations {
 public:
  // `context` and `job` belong to the front end and outlive this object; `job` is the job the
  // fields were taken over into. `store` may be null (nothing is persisted), as may `beeper`.
  CardOperations(WriterContext &context, DesfireSet &job, ValueStore *store, Beeper *beeper);
  // Switches background mode off if a cycle still runs.
  ~CardOperations();
  CardOperations(const CardOperations &) = delete;
  CardOperations &operator=(const CardOperations &) = delete;

  // --- settings ----------------------------------------------------------------------------------
  // False, keeping the old value, when `ms` lies outside its range. A new cycle period takes
  // effect when a cycle is next started.
  bool SetCyclePeriodMs(int ms);
  bool SetBeepTimeMs(int ms);
  int CyclePeriodMs() const { return cycle_period_ms_; }
  int BeepTimeMs() const { return beep_time_ms_; }
  void SetLogSettings(const LogSettings &logs) { logs_ = logs; }
  void SetLogClock(LogClock clock) { log_clock_ = std::move(clock); }
  // After each successful write the file is read back with the job's read (or read/write) key
  // and compared; a card that does not hold what was written counts as failed, and its value,
  // whose fate is unknown, is not given out again. Off: the write's own answer is trusted.
  void SetVerifyAfterWrite(bool on) { verify_after_write_ = on; }
  // A watch on the reader for the cycles (may be null: the reader is taken to be there).
  void SetReaderWatch(ReaderWatch *watch) { watch_ = watch; }

  // --- the series' value -------------------------------------------------------------------------
  // The value the next write gives out: the store's as this process last read or wrote it, or,
  // without a store, the one kept here (at first the job's data text).
  QString SeriesNext() const;
  // The series' next value as the store holds it now (another process sharing it may have counted
  // on); SeriesNext() when the store cannot be read.
  QString StoredSeriesNext();
  // The operator's own value (typed into the field, given on the command line, loaded with a job
  // file): the series goes on from it, also for other processes sharing the store. Whether it was
  // given out already is for the front end to ask first (ValueAlreadyGivenOut). False, with
  // nothing changed, when the store could not be written.
  bool SetSeriesValue(const QString &value);
  // The job's number format or representation was changed from `before`'s: the series' next value
  // is written in the job's new format with its number kept (the store follows), and the job's
  // data text shows it. False when the store could not be written (the job then shows the value
  // as it was, in the new format).
  bool FollowFormatChange(const DesfireSet &before);

  // --- the series' ledger -----------------------------------------------------------------------
  // With a ledger, a counting series' next value lives in the ledger and every card's value is
  // reserved there, as one row with the card's UID and how it ended; the store keeps a mirror of
  // the ledger's next for files and scripts that read "Wert". A job without auto-increment writes
  // one value to every card on purpose and keeps no rows.
  //
  // Attaches the ledger (null: none) and brings the series and the store together: a series the
  // ledger does not know starts at the stored value; a stored value the ledger has given out is an
  // old mirror (the ledger's next stands and is stored); any other stored value that differs from
  // the ledger's next was set as a new start value while no program ran, and the ledger follows
  // it. False, with LedgerFailure(), when the ledger or the store failed.
  bool SetLedger(SeriesLedger *ledger, const QString &series, const LedgerEntry &writer);
  // Asked when the ledger holds the value a card is about to get (`question` names the card that
  // got it and when); true writes it again as a reissue. Without a question such a value is
  // refused.
  using ReissueQuestion = std::function<bool(const QString &question)>;
  void SetReissueQuestion(ReissueQuestion question) { reissue_question_ = std::move(question); }
  // The operator agreed already (when typing it) to write `value` again: the next card that gets
  // it is written as a reissue without a second question.
  void ApproveReissue(const QString &value) { approved_reissue_ = value; }
  // How long a running cycle waits, checking on its ticks, for a ledger that failed before it
  // ends; 0 (the default) ends it at the first failure.
  void SetLedgerWaitMs(qint64 ms) { ledger_wait_ms_ = ms; }
  // Set once the ledger failed (naming the database and the reason; empty while it answers): no
  // card was written after it, and unless the cycle waits for the ledger it has ended.
  const QString &LedgerFailure() const { return ledger_failure_; }
  // True while a cycle waits for its ledger to answer again.
  bool WaitsForLedger() const { return ledger_waiting_.isValid(); }
  // True once a value the ledger holds was refused (the operator said no, or nobody could be
  // asked): its card was not written and a cycle has ended.
  bool HeldValueRefused() const { return held_refused_; }

  // --- single runs -------------------------------------------------------------------------------
  // Checks the job for writing and writes the card on the reader once; the job's data text shows
  // the series' next value first and, after a success, the value after it. The front end has
  // emptied its status box and taken the fields over before.
  RunResult SingleWrite();
  // Checks the job for reading and reads the card once into the job's data text.
  RunResult SingleRead();

  // --- cycles ------------------------------------------------------------------------------------
  // Checks the job and starts the cycle: background mode on, the last UID forgotten (a write
  // cycle shows the series' next value first). A refused job starts nothing. A cycle already
  // running is stopped first. The front end then runs its timer with RunningPeriodMs(). Both
  // cycles start with the counts at zero and the lamps off (waiting for a card); the read cycle
  // empties the data text.
  JobCheck StartWriteCycle();
  JobCheck StartReadCycle();
  // Ends the running cycle (nothing when none runs). Background mode goes off at once, or, when
  // called from inside a tick (a question of the write sequence), when that tick ends.
  void StopCycle();
  Cycle RunningCycle() const { return cycle_; }
  // The period the running cycle was started with.
  int RunningPeriodMs() const { return running_period_ms_; }
  const SeriesCounts &Counts() const { return counts_; }
  void ResetCounts() { counts_ = {}; }
  // True once a series has met a value that no longer fits the file (its cycle has ended).
  bool SeriesOutgrewTheFile() const { return series_outgrown_; }
  // Set once a card's log line could not be written (the line that names the file; empty while
  // none failed since the last cycle start): the card holds its value but has no record, so the
  // operation failed and a cycle has ended (a written value stays given out).
  const QString &LogFailure() const { return log_failure_; }
  // Set once the series' next value could not be stored (the store's failure, naming its file and
  // the reason; empty while none failed since the last cycle start): no card was written and a
  // cycle has ended.
  const QString &StoreFailure() const { return store_failure_; }
  // The value of the card written or read last (as logged and reported); empty before the first.
  const QString &LastCardValue() const { return last_card_value_; }

  // One timer tick: one cyclic write or read attempt. Does nothing when no cycle runs or when it
  // is called from inside a tick (a front end's event loop running while a question is asked).
  // Failures do not end the cycle: the next tick tries again.
  void Tick();
  bool InTick() const { return in_tick_; }

  // --- the operations --------------------------------------------------------------------------
  // One write attempt on the card on the reader with the plan of the last job check. True when
  // the card was written: the last UID is the card's, the value is logged and reported, the tone
  // plays and the job's data text counts up. False when no new card was there (cyclic: silently)
  // or the write failed (red lamp, status line, the stored value put back).
  bool WriteOperation(bool cyclic);
  // One read attempt; true with the decoded value in the job's data text (cyclic: also when the
  // card read last still lies on the reader, the text then unchanged). False with the text
  // emptied.
  bool ReadOperation(bool cyclic);

 private:
  void SetBackgroundMode(bool on);
  void Status(const QString &line);
  void ShowData();
  // Before a tick: whether the watched reader is there (perhaps found again after a loss); false
  // when the tick has no reader to work with (the red lamp when it has just been lost).
  bool WatchedReaderReady();
  // A status line naming the value of this job's series that the card held before its write of
  // `value` (a card laid again, or met again by a process started after the one that wrote it);
  // nothing when `earlier` is no such value.
  void ReportEarlierSeriesValue(const QByteArray &earlier, const QString &value);
  // Reads the whole file back and compares it with `bytes`; false after a status line.
  bool CardHolds(const QByteArray &bytes, const QString &value);
  // The value a card is about to get; see WriteDetectedCard.
  struct CardValue;
  // Writes the series' next value to the card DetectCard found, in the steps below; true once the
  // card holds it and has its record.
  bool WriteDetectedCard();
  // Takes the series' next value, tidied and encoded; false (the series may end) when it cannot
  // go onto the card.
  bool TakeSeriesValue(CardValue &value);
  // Stores the value the next card gets before this card is written, and follows another process
  // that moved the series on; false when the store failed (the cycle ends) or the stored value
  // does not fit.
  bool ReserveCardValue(CardValue &value);
  // Runs the write sequence and, when asked, the read-back; `data_may_be_on_card` tells a failure
  // after which the card may hold the value.
  bool WriteValueToCard(const CardValue &value, bool &data_may_be_on_card);
  // After a write whose outcome is unknown: the value is not given out again, the series moves on.
  void SkipValueMaybeOnCard(const CardValue &value);
  // A written card: its log line, lamp, tone and status line; false when its log line failed.
  bool RecordWrittenCard(const CardValue &value);
  bool ReadDetectedCard();
  // `written` holds the tidied value; it becomes the stored one when another process moved the
  // series on. `next` receives the value now stored for the next card; `counts` whether the
  // store changed. False when the store could not be locked or written.
  bool ReserveValue(DesfireSet &written, QString &next, bool &counts);
  // A value that no longer fits the file: a status line, the red lamp, and the cycle ends.
  void EndSeriesThatOutgrewTheFile(const DesfireSet &written);
  // After a card that did not take its value: the stored next value goes back to the card's (the
  // ledger row returned first).
  void PutBack(const CardValue &value);
  // The ledger's part of ReserveCardValue: reserves the card's value in the ledger and mirrors the
  // next into the store; false after the status lines when it failed or the value was refused.
  bool ReserveInLedger(CardValue &value);
  // Ends the card's ledger row; false after a status line when the ledger failed.
  bool FinishLedgerRow(const CardValue &value, LedgerResult result);
  // The ledger failed: the station stops before the next card (or waits, see SetLedgerWaitMs).
  void LedgerFailed(const QString &reason);
  // Before a tick while the cycle waits for the ledger: true once it answers again.
  bool LedgerAnswersAgain();
  // See SetLedger.
  bool FollowLedger();
  // The series' next value as the store holds it now (series_next_ without a store).
  QString StoredValue();
  // Appends the card's log line; false, after a status line naming the file (kept as
  // LogFailure()), when it could not be written.
  bool Log(const QString &file);
  // The job's data text shows the series' next value, tidied as the job writes it.
  void ShowSeriesNext();
  JobCheck StartCycle(Cycle cycle);

  WriterContext &context_;
  DesfireSet &job_;
  ValueStore *store_;
  Beeper *beeper_;
  KeyPlan plan_;
  LogSettings logs_;
  LogClock log_clock_ = SystemLogClock;
  ReaderWatch *watch_ = nullptr;
  bool verify_after_write_ = false;
  int cycle_period_ms_ = kDefaultCyclePeriodMs;
  int beep_time_ms_ = kDefaultBeepTimeMs;
  int running_period_ms_ = 0;
  QString last_card_value_;
  QString series_next_;  // the series' next value when there is no store
  bool series_outgrown_ = false;
  QString log_failure_;
  QString store_failure_;
  SeriesLedger *ledger_ = nullptr;
  QString series_;
  LedgerEntry writer_;
  bool ledger_followed_ = false;  // the store and the ledger were brought together (SetLedger)
  ReissueQuestion reissue_question_;
  QString approved_reissue_;
  qint64 ledger_wait_ms_ = 0;
  QString ledger_failure_;
  QElapsedTimer ledger_waiting_;  // valid while a cycle waits for the ledger
  bool held_refused_ = false;
  SeriesCounts counts_;
  Cycle cycle_ = Cycle::kNone;
  bool background_on_ = false;
  bool in_tick_ = false;
};

}  // namespace quillmate
