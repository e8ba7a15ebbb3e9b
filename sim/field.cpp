// The reader's RF field and the card in it, placed and removed by hand or by a scripted flow.
#include "sim/field.h"

#include <algorithm>
#include <string>
#include <utility>

namespace kovra_sim {
namespace {

std::string UidKey(const Bytes &uid) {
  return std::string(uid.begin(), uid.end());
}

// Enough to keep every UID of a long production run apart; beyond it the set starts over (a
// repeat among 2^48 random UIDs is not a practical concern, it only guards against bad luck).
constexpr size_t kUidMemory = 1000000;
constexpr int kFreshUidAttempts = 100;

}  // namespace

std::string_view LeaveReasonName(LeaveReason reason) {
  switch (reason) {
    case LeaveReason::kRemoved:
      return "removed";
    case LeaveReason::kReplaced:
      return "replaced";
    case LeaveReason::kLeft:
      return "left";
    case LeaveReason::kFault:
      return "fault";
  }
  return "unknown";
}

std::string_view ActivationName(Activation activation) {
  switch (activation) {
    case Activation::kIdle:
      return "idle";
    case Activation::kSelected:
      return "selected";
    case Activation::kLayer4:
      return "layer4";
  }
  return "unknown";
}

Field::Field(NowFn now, std::optional<uint32_t> seed)
    : now_(std::move(now)),
      epoch_(Now()),
      random_(seed ? *seed : std::random_device{}()),
      maker_(MakeStandardCard) {}

SimClock::time_point Field::Now() const {
  return now_ ? now_() : SimClock::now();
}

void Field::SetPower(bool on) {
  power_ = on;
  if (!on) {
    if (current_) current_->card->Reset();
    activation_ = Activation::kIdle;
  }
}

void Field::Place(std::shared_ptr<Card> card) {
  const SimClock::time_point now = Now();
  Advance(now);
  flow_.reset();
  if (current_) Leave(now, LeaveReason::kReplaced);
  if (card) Arrive(std::move(card), now, std::nullopt);
}

std::shared_ptr<Card> Field::PlaceNew(CardKind kind, std::optional<Bytes> uid) {
  std::shared_ptr<Card> card = maker_(kind, uid ? std::move(*uid) : FreshUid(kind));
  Place(card);
  return card;
}

void Field::Remove() {
  const SimClock::time_point now = Now();
  Advance(now);
  flow_.reset();
  if (current_) Leave(now, LeaveReason::kRemoved);
}

void Field::Feed(const FeedPlan &plan) {
  const SimClock::time_point now = Now();
  Advance(now);
  flow_.reset();
  if (current_) Leave(now, LeaveReason::kReplaced);
  if (plan.count == 0) return;
  flow_ = Flow{plan.again.empty() ? plan.count : plan.again.size(), 0, now, plan};
  Advance(now);
}

size_t Field::FeedAgain(size_t count, FeedPlan plan) {
  Advance(Now());
  // The card lying in the field is not in the history yet; it leaves first, as in Feed, but is
  // not one of the cards asked back.
  const size_t available = std::min(count, history_.size());
  plan.again.clear();
  for (size_t i = history_.size() - available; i < history_.size(); ++i) {
    plan.again.push_back(history_[i].card);
  }
  if (plan.again.empty()) return 0;
  Feed(plan);
  return available;
}

void Field::SetCardMaker(CardMaker maker) {
  maker_ = maker ? std::move(maker) : CardMaker(MakeStandardCard);
}

Card *Field::Present() {
  Advance(Now());
  return current_ ? current_->card.get() : nullptr;
}

std::shared_ptr<Card> Field::PresentShared() {
  Advance(Now());
  return current_ ? current_->card : nullptr;
}

Iso14443Card *Field::PresentIso() {
  return dynamic_cast<Iso14443Card *>(Present());
}

void Field::SetActivation(Activation activation) {
  if (!current_) return;
  if (activation == Activation::kSelected) current_->card->Reset();
  activation_ = activation;
}

void Field::NoteExchange(bool writes) {
  if (!current_) return;
  const SimClock::time_point now = Now();
  if (writes) current_->last_exchange = now;
  ++current_->exchanges;
  if (!remove_after_) return;
  if (*remove_after_ <= 1) {
    remove_after_.reset();
    Leave(now, LeaveReason::kFault);
  } else {
    --*remove_after_;
  }
}

void Field::NoteCommand(uint64_t presence, SimClock::time_point arrived,
                        SimClock::duration reply_after, SimClock::duration modelled) {
  CommandTimes *times = nullptr;
  if (current_ && presence == presence_id_) {
    times = &current_->command_times;
  } else if (!history_.empty() && history_.back().presence == presence) {
    times = &history_.back().command_times;  // the command took the card away
  }
  if (times == nullptr) return;
  ++times->commands;
  if (!times->first_command) times->first_command = arrived;
  const SimClock::time_point reply = arrived + reply_after;
  // A reply never overtakes an earlier one: one due before an earlier reply goes out after it.
  times->last_reply = times->last_reply ? std::max(*times->last_reply, reply) : reply;
  times->modelled += modelled;
}

void Field::RemoveAfterExchanges(std::optional<size_t> exchanges) {
  remove_after_ = exchanges;
  if (exchanges && *exchanges == 0) {
    remove_after_.reset();
    const SimClock::time_point now = Now();
    Advance(now);
    if (current_) Leave(now, LeaveReason::kFault);
  }
}

const std::deque<LeftCard> &Field::History() {
  Advance(Now());
  return history_;
}

size_t Field::CardsToCome() {
  Advance(Now());
  return flow_ ? flow_->remaining : 0;
}

std::optional<SimClock::time_point> Field::ArrivedAt() {
  Advance(Now());
  if (!current_) return std::nullopt;
  return current_->arrived;
}

void Field::Advance(SimClock::time_point now) {
  for (;;) {
    if (current_ && current_->leave_after) {
      const SimClock::time_point since = current_->last_exchange
                                             ? std::max(current_->arrived, *current_->last_exchange)
                                             : current_->arrived;
      const SimClock::time_point deadline = since + *current_->leave_after;
      if (now < deadline) return;  // the card stays; the next one cannot come before it leaves
      Leave(deadline, LeaveReason::kLeft);
      continue;
    }
    if (!current_ && flow_ && flow_->remaining > 0 && now >= flow_->next_arrival) {
      --flow_->remaining;
      const CardKind kind = flow_->plan.kind;
      std::shared_ptr<Card> card = flow_->plan.again.empty()
                                       ? maker_(kind, FreshUid(kind))
                                       : flow_->plan.again[flow_->next_again++];
      Arrive(std::move(card), flow_->next_arrival, flow_->plan.leave_after);
      continue;
    }
    return;
  }
}

void Field::Arrive(std::shared_ptr<Card> card, SimClock::time_point at,
                   std::optional<std::chrono::milliseconds> leave_after) {
  uids_seen_.insert(UidKey(card->Uid()));
  current_ = InField{std::move(card), at, std::nullopt, 0, leave_after, {}};
  activation_ = Activation::kIdle;
  ++presence_id_;
}

void Field::Leave(SimClock::time_point at, LeaveReason reason) {
  if (!current_) return;
  InField gone = std::move(*current_);
  current_.reset();
  activation_ = Activation::kIdle;
  gone.card->Reset();  // out of the field, out of power
  LeftCard left;
  left.kind = gone.card->Kind();
  left.uid = gone.card->Uid();
  left.card = std::move(gone.card);
  left.arrived = gone.arrived;
  left.left = at;
  left.exchanges = gone.exchanges;
  left.reason = reason;
  left.presence = presence_id_;
  left.command_times = gone.command_times;
  history_.push_back(std::move(left));
  while (history_.size() > kHistoryLimit) history_.pop_front();
  if (flow_) {
    if (flow_->remaining > 0) {
      flow_->next_arrival = at + flow_->plan.gap;
    } else {
      flow_.reset();  // the last fed card has gone
    }
  }
}

Bytes Field::FreshUid(CardKind kind) {
  if (uids_seen_.size() > kUidMemory) uids_seen_.clear();
  Bytes uid = RandomUid(kind, random_);
  for (int attempt = 0; attempt < kFreshUidAttempts && uids_seen_.count(UidKey(uid)) != 0;
       ++attempt) {
    uid = RandomUid(kind, random_);
  }
  return uid;
}

}  // namespace kovra_sim
