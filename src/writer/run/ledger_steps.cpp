// The card operations' use of the series' ledger: following the ledger when a job starts, reserving
// each card's value in it, finishing the card's row, and stopping or waiting while it fails.
#include <QCoreApplication>
#include <utility>

#include "writer/job/data_codec.h"
#include "writer/ledger/counting_series.h"
#include "writer/ledger/held_value.h"
#include "writer/run/card_value.h"
#include "writer/run/operations.h"

namespace quillmate {
namespace {

// The operator texts of this file share the context "CardOperations" with operations.cpp.
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CardOperations)
};

}  // namespace

bool CardOperations::SetLedger(SeriesLedger *ledger, const QString &series,
                               const LedgerEntry &writer) {
  ledger_ = ledger;
  series_ = series;
  writer_ = writer;
  ledger_failure_.clear();
  ledger_followed_ = false;
  // A job that does not count keeps no rows; should it count later, its first card follows.
  if (ledger_ == nullptr || !IsCountingSeries(job_)) return true;
  ledger_followed_ = FollowLedger();
  job_.data = SeriesNext();
  ShowData();
  return ledger_followed_;
}

bool CardOperations::FollowLedger() {
  const QString stored = StoredValue();
  const auto failed = [this](const QString &reason) {
    ledger_failure_ = reason;
    return false;
  };
  const std::optional<QString> next = ledger_->Next(series_);
  if (!next && !ledger_->Failure().isEmpty()) return failed(ledger_->Failure());
  // A series the ledger does not know yet goes on from the stored value (an old settings file).
  if (!next || *next == stored) {
    return next || ledger_->SetNext(series_, stored) || failed(ledger_->Failure());
  }
  const std::optional<std::vector<LedgerEntry>> holding = ledger_->Holding(series_, stored);
  if (!holding) return failed(ledger_->Failure());
  if (holding->empty()) {
    // A value the series never gave out: someone set it as the start value while no program ran.
    return ledger_->SetNext(series_, stored) || failed(ledger_->Failure());
  }
  // The stored value is an old mirror (this station stopped between the ledger and the file, or
  // other stations counted on): the ledger's next stands.
  if (store_ == nullptr) {
    series_next_ = *next;
    return true;
  }
  if (!store_->Store(*next)) return failed(store_->Failure());
  return true;
}

QString CardOperations::StoredValue() {
  if (store_ == nullptr) return series_next_;
  QString stored = store_->Seen();
  store_->Update([&stored](const QString &now) -> std::optional<QString> {
    stored = now;
    return std::nullopt;
  });
  return stored;
}

bool CardOperations::ReserveInLedger(CardValue &value) {
  if (!ledger_followed_) {
    ledger_followed_ = FollowLedger();
    if (!ledger_followed_) {
      LedgerFailed(ledger_failure_);
      return false;
    }
  }
  const auto plan = [&value](const QString &next) {
    DesfireSet card = value.written;
    card.data = next;
    NormaliseValue(card, 0);
    DesfireSet following = card;
    NormaliseValue(following, 1);
    return SeriesLedger::Plan{card.data, following.data};
  };
  // The value the operator agreed to write again; a reissue reservation that lands on another
  // value (a station counted on while the question was open) is returned and asked about anew.
  QString approved = std::exchange(approved_reissue_, QString());
  // The row names the card from the start, so a station killed before the card is finished
  // leaves a gap that still says which card it was meant for.
  LedgerEntry who = writer_;
  who.uid = context_.cards.current_uid;
  for (int asked = 0; asked < 3; ++asked) {
    SeriesLedger::Reservation reservation;
    const auto reserve = [&](const QString &stored) -> std::optional<QString> {
      reservation = ledger_->Reserve(series_, stored, plan, who, !approved.isEmpty());
      if (reservation.outcome != SeriesLedger::Reservation::Outcome::kReserved) return std::nullopt;
      // The store mirrors the ledger's next for files and scripts that read it.
      return reservation.plan.next;
    };
    bool stored = true;
    if (store_ != nullptr) {
      stored = store_->Update(reserve);
    } else if (reserve(series_next_)) {
      series_next_ = reservation.plan.next;
    }
    const bool reserved = reservation.outcome == SeriesLedger::Reservation::Outcome::kReserved;
    if (!stored) {
      // The ledger may have taken the value while the file failed: it goes back, or stays a gap.
      if (reserved)
        ledger_->Return(reservation.entry.id, reservation.plan.value, reservation.plan.next);
      // Without a reservation the message names the next value as this card would have left it.
      const QString next = reserved ? reservation.plan.next : plan(value.written.data).next;
      context_.report.Message(
          Texts::tr("Der nächste Wert <%1> konnte nicht gespeichert werden, die Karte wird nicht "
                    "beschrieben!")
              .arg(next));
      context_.report.ShowLamp(Lamp::kRed);
      store_failure_ = store_->Failure();
      Status(store_failure_);
      StopCycle();
      return false;
    }
    if (reserved && reservation.entry.reissue && reservation.plan.value != approved) {
      ledger_->Return(reservation.entry.id, reservation.plan.value, reservation.plan.next);
      approved.clear();
      continue;
    }
    if (reserved) {
      value.written.data = reservation.plan.value;
      value.next = reservation.plan.next;
      value.counts = true;
      value.ledger_row = reservation.entry.id;
      return true;
    }
    if (reservation.outcome == SeriesLedger::Reservation::Outcome::kFailed) {
      LedgerFailed(ledger_->Failure());
      return false;
    }
    const QString &held = reservation.plan.value;
    const LedgerEntry &earlier = reservation.earlier.back();
    if (held != approved && reissue_question_ &&
        reissue_question_(ReissueQuestionText(held, earlier))) {
      approved = held;
      continue;
    }
    // Refused: the card stays untouched, and a cycle ends rather than ask at every card.
    held_refused_ = true;
    context_.report.ShowLamp(Lamp::kRed);
    Status(HeldValueText(held, earlier) +
           Texts::tr(" Der Wert wird nicht noch einmal geschrieben."));
    job_.data = held;
    ShowData();
    StopCycle();
    return false;
  }
  held_refused_ = true;
  context_.report.ShowLamp(Lamp::kRed);
  StopCycle();
  return false;
}

bool CardOperations::FinishLedgerRow(const CardValue &value, LedgerResult result) {
  if (ledger_->Finish(value.ledger_row, context_.cards.current_uid, result)) return true;
  LedgerFailed(ledger_->Failure());
  return false;
}

void CardOperations::LedgerFailed(const QString &reason) {
  ledger_failure_ = reason;
  context_.report.ShowLamp(Lamp::kRed);
  Status(reason);
  if (cycle_ != Cycle::kNone && ledger_wait_ms_ > 0) {
    if (!ledger_waiting_.isValid()) {
      ledger_waiting_.start();
      Status(
          Texts::tr("Die Station wartet auf das Serienbuch (höchstens %1 s), es wird keine Karte "
                    "beschrieben.")
              .arg((ledger_wait_ms_ + 999) / 1000));
    }
    return;
  }
  StopCycle();
}

bool CardOperations::LedgerAnswersAgain() {
  // A cheap call that touches the database the way a reservation does.
  const std::optional<QString> next = ledger_->Next(series_);
  if (next || ledger_->Failure().isEmpty()) {
    ledger_waiting_.invalidate();
    ledger_failure_.clear();
    Status(Texts::tr("Das Serienbuch antwortet wieder, die Serie geht weiter."));
    context_.report.ShowLamp(Lamp::kWaiting);
    return true;
  }
  ledger_failure_ = ledger_->Failure();
  if (ledger_waiting_.hasExpired(ledger_wait_ms_)) {
    context_.report.ShowLamp(Lamp::kRed);
    Status(ledger_failure_ + Texts::tr(" Die Station hört auf zu warten."));
    StopCycle();
  }
  return false;
}

}  // namespace quillmate
