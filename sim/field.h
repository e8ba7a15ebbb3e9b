// The reader's RF field and the card in it: at most one card at a time, placed and removed by
// hand or brought by a scripted flow of fresh cards, plus the activation state the reader's card
// commands move the card through:
//
//   field off, or no card  ->  nothing answers
//   idle  --select-->  selected  --RATS (ISO cards only)-->  layer 4 (PPS and exchanges)
//   switching the field off, and a new select, take the card back (Card::Reset is called).
//
// A card flow (Feed) brings N cards one after another, each with a fresh random UID. A fed card
// leaves the field on its own `leave_after` after the later of its arrival and the last exchange
// that wrote to it (an operator takes a card away once it has been written; a host that only
// checks whether the card is still there does not hold it on the reader); the next card arrives
// `gap` after that. The flow is evaluated lazily from the clock whenever the field is looked at, so
// there is no thread and a ManualClock drives it exactly: leave and arrival times are the computed
// ones, not the times somebody happened to look.
//
// Cards that left the field are kept in the history with their UID, times and the card object
// itself, so that tests can check every card of a run.
//
// For benchmarks each card also keeps the times of the reader commands answered while it lay in
// the field (CommandTimes): a host that processes a card is busy from the first of them to the
// reply to the last, and the reader's link model says how much of that the line and the card
// needed; the rest is the host's.
//
// Not thread-safe; the reader's lock serialises calls.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "sim/cards.h"
#include "sim/clock.h"

namespace kovra_sim {

enum class Activation { kIdle, kSelected, kLayer4 };

enum class LeaveReason {
  kRemoved,   // taken away by hand (Remove)
  kReplaced,  // another card was placed, or a flow started, while it lay there
  kLeft,      // a fed card whose time was up
  kFault,     // the remove-after-K-exchanges fault
};

std::string_view LeaveReasonName(LeaveReason reason);
std::string_view ActivationName(Activation activation);

// The reader commands answered while one card lay in the field, every command counted (also the
// field switch and the activation, not only the exchanges with the card), on the field's clock.
struct CommandTimes {
  size_t commands = 0;
  std::optional<SimClock::time_point> first_command;  // when the first of them arrived
  std::optional<SimClock::time_point> last_reply;     // when the reply to the last was due out
  SimClock::duration modelled{0};  // the link model's time of all of them (link_model.h)
};

// A card that has left the field.
struct LeftCard {
  std::shared_ptr<Card> card;  // kept, so that its final state can be checked
  CardKind kind = CardKind::kIso;
  Bytes uid;
  SimClock::time_point arrived{};
  SimClock::time_point left{};
  size_t exchanges = 0;  // exchanges the card answered while in the field
  LeaveReason reason = LeaveReason::kRemoved;
  uint64_t presence = 0;  // its PresenceId while it lay in the field
  CommandTimes command_times;
};

// Makes the card for a kind and UID; MakeStandardCard unless a test sets its own.
using CardMaker = std::function<std::shared_ptr<Card>(CardKind kind, Bytes uid)>;

struct FeedPlan {
  size_t count = 1;
  std::chrono::milliseconds leave_after{300};
  std::chrono::milliseconds gap{200};
  CardKind kind = CardKind::kDesfire;
  // Cards that come back, in this order, instead of `count` fresh ones (a written series laid on
  // the reader again to be read back).
  std::vector<std::shared_ptr<Card>> again;
};

class Field {
 public:
  // `now` empty: the steady clock. `seed` empty: fresh UIDs from a random seed.
  explicit Field(NowFn now = {}, std::optional<uint32_t> seed = std::nullopt);

  // --- RF power ------------------------------------------------------------------------------
  // Switching off takes the card back to idle (and resets it).
  void SetPower(bool on);
  bool PowerOn() const { return power_; }

  // --- cards ---------------------------------------------------------------------------------
  // Puts the card into the field; it stays until removed. A card lying there leaves (kReplaced)
  // and a running flow ends. A null card only empties the field.
  void Place(std::shared_ptr<Card> card);
  // Places a new card of the kind made by the card maker, with `uid` or a fresh random UID.
  // Returns it.
  std::shared_ptr<Card> PlaceNew(CardKind kind, std::optional<Bytes> uid = std::nullopt);
  // Takes the card away (kRemoved) and ends a running flow. Nothing when the field is empty.
  void Remove();
  // Starts a flow of fresh cards. A card lying in the field leaves first (kReplaced); the first
  // fed card arrives at once. A plan with count 0 only ends a running flow.
  void Feed(const FeedPlan &plan);
  // Lays the last `count` cards that left the field (at most as many as the history holds) on the
  // reader again, oldest first, with the plan's leave and gap times. Returns how many come.
  size_t FeedAgain(size_t count, FeedPlan plan);
  void SetCardMaker(CardMaker maker);

  // The card in the field now, after the flow has been brought up to date; null when empty.
  Card *Present();
  std::shared_ptr<Card> PresentShared();
  // Its ISO 14443-4 side; null when empty or when the card has no layer 4.
  Iso14443Card *PresentIso();
  // Counts up with every card that enters the field.
  uint64_t PresenceId() const { return presence_id_; }
  Activation State() const { return activation_; }
  // Moves the card in the field to this state; select (kSelected) also resets the card.
  void SetActivation(Activation activation);
  // Records an exchange the present card answered: one that writes to the card restarts its
  // leave time; every exchange counts down the remove-after fault (the card leaves after the
  // exchange that brings it to zero).
  void NoteExchange(bool writes = true);
  // Records a reader command answered while the card of presence number `presence` lay in the
  // field, also when the command took it away: it arrived at `arrived` (the field's clock), its
  // reply was due out `reply_after` later, `modelled` of which is the link model's time. Nothing
  // when that card left before the command, or no card lay there.
  void NoteCommand(uint64_t presence, SimClock::time_point arrived, SimClock::duration reply_after,
                   SimClock::duration modelled);

  // --- faults --------------------------------------------------------------------------------
  // The card in the field leaves after `exchanges` more exchanges (0: at once, if a card is
  // there), whichever card answers them; the fault is then used up. `std::nullopt` disarms it.
  void RemoveAfterExchanges(std::optional<size_t> exchanges);
  std::optional<size_t> RemoveAfterArmed() const { return remove_after_; }

  // --- observation ---------------------------------------------------------------------------
  // Up to date as of now.
  const std::deque<LeftCard> &History();
  size_t CardsToCome();
  // When the present card arrived and how many exchanges it answered; nothing when empty.
  std::optional<SimClock::time_point> ArrivedAt();
  size_t PresentExchanges() const { return current_ ? current_->exchanges : 0; }
  CommandTimes PresentCommandTimes() const {
    return current_ ? current_->command_times : CommandTimes{};
  }
  // The field's time now, and the time it was made (the zero of the JSON state's times).
  SimClock::time_point Now() const;
  SimClock::time_point Epoch() const { return epoch_; }

  // The history keeps the newest this many cards.
  static constexpr size_t kHistoryLimit = 100000;

 private:
  struct InField {
    std::shared_ptr<Card> card;
    SimClock::time_point arrived{};
    std::optional<SimClock::time_point> last_exchange;
    size_t exchanges = 0;
    // Fed cards leave on their own this long after their arrival or last exchange.
    std::optional<std::chrono::milliseconds> leave_after;
    CommandTimes command_times;
  };
  struct Flow {
    size_t remaining = 0;   // cards still to arrive
    size_t next_again = 0;  // with plan.again: the index of the next card to come back
    SimClock::time_point next_arrival{};
    FeedPlan plan;
  };

  // Brings the flow up to `now`: fed cards leave and arrive at their computed times.
  void Advance(SimClock::time_point now);
  void Arrive(std::shared_ptr<Card> card, SimClock::time_point at,
              std::optional<std::chrono::milliseconds> leave_after);
  void Leave(SimClock::time_point at, LeaveReason reason);
  Bytes FreshUid(CardKind kind);

  NowFn now_;
  SimClock::time_point epoch_;
  std::mt19937 random_;
  CardMaker maker_;
  bool power_ = false;
  std::optional<InField> current_;
  Activation activation_ = Activation::kIdle;
  uint64_t presence_id_ = 0;
  std::optional<Flow> flow_;
  std::optional<size_t> remove_after_;
  std::deque<LeftCard> history_;
  // Fresh UIDs do not repeat one seen before (bounded). Kept as strings: GCC 12 at -O3 warns
  // falsely about the memcmp of std::vector's ordering (stringop-overread).
  std::set<std::string> uids_seen_;
};

}  // namespace kovra_sim
