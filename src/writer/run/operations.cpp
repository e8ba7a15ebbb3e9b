// The card operations a front end starts: single write and read runs and the write and read
// cycles driven by Tick().
#include "writer/run/operations.h"

#include <QCoreApplication>

#include "kovra.h"
#include "writer/cards/card_calls.h"
#include "writer/cards/card_detection.h"
#include "writer/cards/read_sequence.h"
#include "writer/cards/write_sequence.h"
#include "writer/job/data_codec.h"
#include "writer/job/key_plan.h"
#include "writer/ledger/counting_series.h"
#include "writer/reader/reader_port.h"
#include "writer/run/card_value.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "CardOperations" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CardOperations)
};

}  // namespace

bool IsValidCyclePeriod(qint64 ms) {
  return ms >= kMinCyclePeriodMs && ms <= kMaxCyclePeriodMs;
}

bool IsValidBeepTime(qint64 ms) {
  return ms >= kMinBeepTimeMs && ms <= kMaxBeepTimeMs;
}

CardOperations::CardOperations(WriterContext &context, DesfireSet &job, ValueStore *store,
                               Beeper *beeper)
    : context_(context), job_(job), store_(store), beeper_(beeper), series_next_(job.data) {}

CardOperations::~CardOperations() {
  if (background_on_) SetBackgroundMode(false);
}

bool CardOperations::SetCyclePeriodMs(int ms) {
  if (!IsValidCyclePeriod(ms)) return false;
  cycle_period_ms_ = ms;
  return true;
}

bool CardOperations::SetBeepTimeMs(int ms) {
  if (!IsValidBeepTime(ms)) return false;
  beep_time_ms_ = ms;
  return true;
}

QString CardOperations::SeriesNext() const {
  return store_ != nullptr ? store_->Seen() : series_next_;
}

QString CardOperations::StoredSeriesNext() {
  if (ledger_ != nullptr && IsCountingSeries(job_)) {
    if (const std::optional<QString> next = ledger_->Next(series_)) return *next;
  }
  if (store_ == nullptr) return series_next_;
  QString stored = store_->Seen();
  store_->Update([&stored](const QString &now) -> std::optional<QString> {
    stored = now;
    return std::nullopt;
  });
  return stored;
}

bool CardOperations::SetSeriesValue(const QString &value) {
  if (ledger_ != nullptr && IsCountingSeries(job_)) {
    // The ledger first: a store that shows a start value the ledger never took would mislead.
    if (!ledger_->SetNext(series_, value)) {
      ledger_failure_ = ledger_->Failure();
      return false;
    }
  }
  if (store_ == nullptr) {
    series_next_ = value;
    return true;
  }
  return store_->Store(value);
}

bool CardOperations::FollowFormatChange(const DesfireSet &before) {
  const auto in_new_format = [&](const QString &text) {
    DesfireSet series = before;
    series.data = text;
    ChangeNumberFormat(series, job_.number_format);
    ChangeRepresentation(series, job_.representation);
    DesfireSet now = job_;
    now.data = series.data;
    NormaliseValue(now, 0);
    return now.data;
  };
  bool stored = true;
  if (store_ == nullptr) {
    series_next_ = in_new_format(series_next_);
  } else {
    // The stored text, not the one seen last: another process may have counted on meanwhile.
    stored = store_->Update([&](const QString &now) -> std::optional<QString> {
      const QString converted = in_new_format(now);
      if (converted == now) return std::nullopt;
      return converted;
    });
  }
  if (stored && ledger_ != nullptr && IsCountingSeries(job_)) {
    const std::optional<QString> next = ledger_->Next(series_);
    stored = next.has_value() && ledger_->SetNext(series_, in_new_format(*next));
    if (!stored) ledger_failure_ = ledger_->Failure();
  }
  job_.data = stored ? SeriesNext() : in_new_format(SeriesNext());
  ShowData();
  return stored;
}

void CardOperations::ShowSeriesNext() {
  job_.data = SeriesNext();
  // An empty value stays empty: the job check refuses it rather than a "0" being made of it.
  if (!job_.data.isEmpty()) NormaliseValue(job_, 0);
  ShowData();
}

RunResult CardOperations::SingleWrite() {
  RunResult result;
  log_failure_.clear();
  store_failure_.clear();
  ledger_failure_.clear();
  held_refused_ = false;
  ShowSeriesNext();
  result.check = ValidateWriteJob(job_, plan_);
  if (result.check.ok) result.done = WriteOperation(false);
  result.card_uid = context_.cards.current_uid;
  return result;
}

RunResult CardOperations::SingleRead() {
  RunResult result;
  log_failure_.clear();
  store_failure_.clear();
  result.check = ValidateReadJob(job_, plan_);
  if (result.check.ok) result.done = ReadOperation(false);
  result.card_uid = context_.cards.current_uid;
  return result;
}

JobCheck CardOperations::StartWriteCycle() {
  return StartCycle(Cycle::kWrite);
}

JobCheck CardOperations::StartReadCycle() {
  return StartCycle(Cycle::kRead);
}

JobCheck CardOperations::StartCycle(Cycle cycle) {
  StopCycle();
  if (cycle == Cycle::kWrite) ShowSeriesNext();
  const JobCheck check =
      cycle == Cycle::kWrite ? ValidateWriteJob(job_, plan_) : ValidateReadJob(job_, plan_);
  if (!check.ok) return check;
  SetBackgroundMode(true);
  cycle_ = cycle;
  log_failure_.clear();
  store_failure_.clear();
  ledger_failure_.clear();
  ledger_waiting_.invalidate();
  held_refused_ = false;
  running_period_ms_ = cycle_period_ms_;
  // Every card of a new cycle is new, also the one processed just before it started.
  context_.cards.last_uid.clear();
  context_.report.ForgetLastMessage();
  counts_ = {};
  context_.report.ShowLamp(Lamp::kWaiting);
  if (cycle == Cycle::kRead) {
    job_.data.clear();
    ShowData();
  }
  return check;
}

void CardOperations::StopCycle() {
  ledger_waiting_.invalidate();
  if (cycle_ == Cycle::kNone) return;
  cycle_ = Cycle::kNone;
  running_period_ms_ = 0;
  // Inside a tick the library may still be waiting for the reader; the tick switches the mode
  // off when it ends.
  if (!in_tick_) SetBackgroundMode(false);
}

void CardOperations::Tick() {
  if (in_tick_ || cycle_ == Cycle::kNone) return;
  if (watch_ && !WatchedReaderReady()) return;
  if (WaitsForLedger() && !LedgerAnswersAgain()) return;
  in_tick_ = true;
  context_.report.SetTickRunning(true);
  if (cycle_ == Cycle::kRead) {
    ReadOperation(true);
  } else {
    WriteOperation(true);
  }
  if (cycle_ == Cycle::kNone && background_on_) SetBackgroundMode(false);
  in_tick_ = false;
  context_.report.SetTickRunning(false);
}

bool CardOperations::WriteOperation(bool cyclic) {
  if (!DetectCard(context_, cyclic)) return false;
  const bool written = WriteDetectedCard();
  ++(written ? counts_.cards_done : counts_.failed_attempts);
  return written;
}

bool CardOperations::WriteDetectedCard() {
  context_.report.ShowLamp(Lamp::kYellow);
  CardValue value;
  if (!TakeSeriesValue(value) || !ReserveCardValue(value)) return false;
  bool data_may_be_on_card = false;
  if (!WriteValueToCard(value, data_may_be_on_card)) {
    context_.report.ShowLamp(Lamp::kRed);
    if (data_may_be_on_card) {
      SkipValueMaybeOnCard(value);
    } else {
      // The card did not take this value: the next card gets it.
      PutBack(value);
    }
    return false;
  }
  return RecordWrittenCard(value);
}

bool CardOperations::TakeSeriesValue(CardValue &value) {
  // The card gets the series' next value, never the text the data field shows (a value read from
  // a card, a value cut by the field's length), tidied: the same text the log and the status line
  // show afterwards (a value set untidied, "0041" from a script, would otherwise go on the card as
  // typed and be reported as 41).
  value.written = job_;
  value.written.data = SeriesNext();
  NormaliseValue(value.written, 0);
  if (!ValueFitsFile(value.written, value.written.data)) {
    EndSeriesThatOutgrewTheFile(value.written);
    return false;
  }
  const JobCheck encoded = EncodeData(value.written, value.written.data, value.bytes);
  if (!encoded.ok) {
    Status(encoded.message);
    context_.report.ShowLamp(Lamp::kRed);
    return false;
  }
  return true;
}

bool CardOperations::ReserveCardValue(CardValue &value) {
  // The value the next card gets is stored before this card is written: if the process dies
  // during or after the write, the series goes on with a value no card carries yet. Another
  // process sharing the store may have moved the series on meanwhile: then this card takes the
  // stored value instead, so that no value goes onto two cards.
  DesfireSet &written = value.written;
  const QString candidate = written.data;
  if (ledger_ != nullptr && IsCountingSeries(written)) {
    if (!ReserveInLedger(value)) return false;
  } else if (!ReserveValue(written, value.next, value.counts)) {
    context_.report.Message(
        Texts::tr("Der nächste Wert <%1> konnte nicht gespeichert werden, die Karte wird nicht "
                  "beschrieben!")
            .arg(value.next));
    context_.report.ShowLamp(Lamp::kRed);
    // A full disk or a read-only store does not mend itself between ticks: the series ends,
    // naming the file and the reason, rather than retry for ever.
    if (store_ != nullptr) {
      store_failure_ = store_->Failure();
      Status(store_failure_);
    }
    StopCycle();
    return false;
  }
  value.put_back = written.data;
  if (written.data == candidate) return true;
  // The job follows the store: the value this process had is on another card already.
  job_.data = written.data;
  ShowData();
  Status(Texts::tr("Ein anderes Programm hat die Serie weitergezählt, weiter mit <%1>!")
             .arg(written.data));
  if (!ValueFitsFile(written, written.data)) {
    PutBack(value);
    EndSeriesThatOutgrewTheFile(written);
    return false;
  }
  if (!EncodeData(written, written.data, value.bytes).ok) {
    PutBack(value);
    context_.report.ShowLamp(Lamp::kRed);
    return false;
  }
  return true;
}

bool CardOperations::WriteValueToCard(const CardValue &value, bool &data_may_be_on_card) {
  WriteDetails details;
  bool written_ok = WriteCard(context_, job_, plan_, value.bytes, &details);
  data_may_be_on_card = details.data_may_be_on_card;
  if (details.earlier_data) ReportEarlierSeriesValue(*details.earlier_data, value.written.data);
  if (written_ok && verify_after_write_ && !CardHolds(details.file_image, value.written.data)) {
    // What the card holds is not known: its value is not given out again.
    written_ok = false;
    data_may_be_on_card = true;
  }
  return written_ok;
}

void CardOperations::SkipValueMaybeOnCard(const CardValue &value) {
  // The card may hold this value although its answer was lost: giving the value to the next card
  // could put it on two. The series skips it instead, and the job moves on.
  if (value.ledger_row != 0) FinishLedgerRow(value, LedgerResult::kFailed);
  if (!value.counts) return;
  ++counts_.values_skipped;
  if (store_ == nullptr) series_next_ = value.next;
  job_.data = value.next;
  ShowData();
  Status(Texts::tr("Der Wert <%1> ist vielleicht auf der Karte und wird nicht noch einmal "
                   "vergeben, weiter mit <%2>!")
             .arg(value.written.data, value.next));
}

bool CardOperations::RecordWrittenCard(const CardValue &value) {
  const QString &written = value.written.data;
  context_.cards.last_uid = context_.cards.current_uid;
  if (store_ == nullptr) series_next_ = value.next;
  job_.data = written;
  last_card_value_ = written;
  // Both records are made whatever becomes of the other: a card whose log line fails still gets
  // its ledger row finished, and the other way round.
  const bool in_ledger =
      value.ledger_row == 0 || FinishLedgerRow(value, verify_after_write_ ? LedgerResult::kVerified
                                                                          : LedgerResult::kWritten);
  if (logs_.write_enabled && !Log(logs_.write_file)) {
    // The card holds its value but has no record: that is no success. The value stays given out
    // (it is on the card), and a cycle does not write further cards into a log that fails.
    context_.report.ShowLamp(Lamp::kRed);
    Status(Texts::tr("Der Wert <%1> ist auf der Karte <%2>, aber nicht protokolliert!")
               .arg(written, CardUidText(context_.cards.current_uid)));
    job_.data = value.next;
    ShowData();
    StopCycle();
    return false;
  }
  if (!in_ledger) {
    // The card holds its value and its log line, but the ledger cannot say so: its row stays
    // reserved (the value is never given again), and the station stops until the ledger answers.
    context_.report.ShowLamp(Lamp::kRed);
    Status(Texts::tr("Der Wert <%1> ist auf der Karte <%2>, aber nicht im Serienbuch eingetragen!")
               .arg(written, CardUidText(context_.cards.current_uid)));
    job_.data = value.next;
    ShowData();
    return false;
  }
  context_.report.ShowLamp(Lamp::kGreen);
  if (beeper_ && beep_time_ms_ > 0) beeper_->Beep(beep_time_ms_);
  Status(Texts::tr("Wert <%1> erfolgreich geschrieben").arg(job_.data));
  context_.report.ForgetLastMessage();
  job_.data = value.next;
  ShowData();
  context_.report.CardDone();
  return true;
}

bool CardOperations::ReadOperation(bool cyclic) {
  if (cyclic) {
    // The read cycle resets the field before every look, so a card is recognised by its UID.
    ResetRfField(context_);
  }
  if (!DetectCard(context_, cyclic)) {
    if (context_.cards.same_card) {
      ShowData();
      return true;
    }
    job_.data.clear();
    ShowData();
    return false;
  }
  const bool read = ReadDetectedCard();
  ++(read ? counts_.cards_done : counts_.failed_attempts);
  return read;
}

bool CardOperations::ReadDetectedCard() {
  context_.report.ShowLamp(Lamp::kYellow);
  QByteArray bytes;
  if (!ReadCard(context_, job_, plan_, bytes)) {
    context_.report.ShowLamp(Lamp::kRed);
    job_.data.clear();
    ShowData();
    return false;
  }
  context_.report.Message(Texts::tr("Erfolgreich gelesen"));
  job_.data = DecodeData(job_, bytes);
  last_card_value_ = job_.data;
  ShowData();
  Status(Texts::tr("Wert <%1> gelesen").arg(job_.data));
  context_.report.ShowLamp(Lamp::kGreen);
  context_.cards.last_uid = context_.cards.current_uid;
  context_.report.ForgetLastMessage();
  if (logs_.read_enabled && !Log(logs_.read_file)) {
    // A card read without its record: the cycle ends rather than read on unrecorded.
    context_.report.ShowLamp(Lamp::kRed);
    StopCycle();
    return false;
  }
  context_.report.CardDone();
  return true;
}

bool CardOperations::CardHolds(const QByteArray &bytes, const QString &value) {
  // The whole file, not only the job's bytes: a tail the write should have cleared counts too.
  DesfireSet whole_file = job_;
  whole_file.length = static_cast<int>(bytes.size());
  QByteArray on_card;
  if (ReadCard(context_, whole_file, plan_, on_card) && on_card == bytes) return true;
  Status(Texts::tr("Die Prüfung nach dem Schreiben findet den Wert <%1> nicht auf der Karte!")
             .arg(value));
  return false;
}

void CardOperations::ReportEarlierSeriesValue(const QByteArray &earlier, const QString &value) {
  // A fresh file holds zeros; anything else counts as a value of this series only when it reads
  // as one of the job's values, that value is written as exactly these bytes, and it has the
  // series' form: the same text around its digits ("ABC-0099" for "ABC-0100").
  if (earlier.count('\0') == earlier.size()) return;
  DesfireSet series = job_;
  series.data = DecodeData(job_, earlier);
  if (!CheckDataText(series).ok) return;
  NormaliseValue(series, 0);
  QByteArray again;
  if (!EncodeData(series, series.data, again).ok || again != earlier) return;
  const bool hex = job_.number_format == NumberFormat::kHexadecimal;
  const auto form = [hex](QString text) {
    text.removeIf([hex](QChar c) {
      return (c >= u'0' && c <= u'9') ||
             (hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
    });
    return text;
  };
  if (form(series.data) != form(value)) return;
  Status(Texts::tr("Die Karte <%1> trug schon den Wert <%2> dieser Serie!")
             .arg(CardUidText(context_.cards.current_uid), series.data));
}

bool CardOperations::WatchedReaderReady() {
  const int handle_before = context_.handle;
  const bool was_lost = watch_->Lost();
  if (!watch_->Check(context_)) {
    // Without a reader no card is being worked on: a lamp left green would say otherwise.
    if (!was_lost) context_.report.ShowLamp(Lamp::kRed);
    return false;
  }
  if (was_lost) context_.report.ShowLamp(Lamp::kWaiting);
  // The reader is back on a new handle: the cycle's background mode belongs on it.
  if (context_.handle != handle_before && background_on_) SetBackgroundMode(true);
  return true;
}

void CardOperations::SetBackgroundMode(bool on) {
  KOVRA_SetBackgroundMode(context_.handle, on ? 1 : 0);
  background_on_ = on;
}

void CardOperations::Status(const QString &line) {
  context_.report.Line(line);
}

void CardOperations::ShowData() {
  context_.report.ShowData(job_.data);
}

bool ValueStore::Update(const Change &change) {
  QString now;
  const bool done = LockedUpdate([&](const QString &stored) {
    const std::optional<QString> replaced = change(stored);
    now = replaced.value_or(stored);
    return replaced;
  });
  if (done) seen_ = now;
  return done;
}

bool CardOperations::ReserveValue(DesfireSet &written, QString &next, bool &counts) {
  const auto count_on = [&] {
    DesfireSet following = written;
    if (following.auto_increment) NormaliseValue(following, 1);
    next = following.data;
  };
  count_on();
  if (store_ == nullptr) {
    counts = next != series_next_;
    return true;
  }
  return store_->Update([&](const QString &stored) -> std::optional<QString> {
    if (stored != store_->Seen()) {
      written.data = stored;
      NormaliseValue(written, 0);
    }
    count_on();
    counts = next != stored;
    if (!counts) return std::nullopt;
    return next;
  });
}

void CardOperations::EndSeriesThatOutgrewTheFile(const DesfireSet &written) {
  // Cut on the card, the value would be reported as written and the next ones would all be the
  // same cut text: the series ends here, the card untouched.
  Status(ValueDoesNotFitText(written) + Texts::tr(" Die Serie endet."));
  context_.report.ShowLamp(Lamp::kRed);
  series_outgrown_ = true;
  StopCycle();
}

void CardOperations::PutBack(const CardValue &card) {
  if (!card.counts) return;
  QString value = card.put_back;
  const QString &next = card.next;
  if (card.ledger_row != 0) {
    // The ledger first: while its row is not returned, the value stays a gap there and the store
    // keeps the next value that mirrors it.
    if (!ledger_->Return(card.ledger_row, value, next)) {
      Status(ledger_->Failure());
      return;
    }
    value = ledger_->Next(series_).value_or(next);
    if (value == next) return;
  }
  if (store_ == nullptr) {
    series_next_ = value;
    return;
  }
  // Only while no other process has reserved a value since: otherwise the series keeps a gap,
  // never a repeat.
  const bool done = store_->Update([&](const QString &stored) -> std::optional<QString> {
    if (stored != next) return std::nullopt;
    return value;
  });
  if (!done) {
    Status(
        Texts::tr("Der Wert <%1> konnte nicht zurückgespeichert werden, gespeichert bleibt <%2>!")
            .arg(value, next));
  }
}

bool CardOperations::Log(const QString &file) {
  const LogResult result = WriteLogLine(file, job_, context_.cards.current_uid, log_clock_);
  if (result.outcome != LogOutcome::kFailed) return true;
  log_failure_ = result.status_line;
  Status(result.status_line);
  return false;
}

}  // namespace quillmate
