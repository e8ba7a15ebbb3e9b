// Card detection: one DESFire card on the reader, activated, its UID recorded, and the card just
// processed recognised in a cycle.
#include "writer/cards/card_detection.h"

#include <QCoreApplication>

#include "kovra.h"
#include "writer/cards/card_calls.h"
#include "writer/reader/reader_port.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "CardDetection" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CardDetection)
};

constexpr quint64 kForgetAfterMs = 1000;

quint64 Now(const WriterContext &context) {
  return context.tick_ms ? context.tick_ms() : 0;
}

// The field is empty (or the reader failed). A processed card has been taken away when the error
// says so and a card is remembered: the lamps go off (waiting for the next card), and a card gone
// for more than a second after its last full detection is forgotten.
void NoteEmptyField(WriterContext &context, int error) {
  CardMemory &cards = context.cards;
  if (!CountsAsEmptyField(error) || cards.last_seen_tick == 0 || cards.last_uid.isEmpty()) return;
  context.report.ShowLamp(Lamp::kWaiting);
  if (Now(context) - cards.last_seen_tick > kForgetAfterMs) {
    cards.last_uid.clear();
    cards.last_seen_tick = 0;
  }
}

}  // namespace

bool DetectCard(WriterContext &context, bool cyclic) {
  CardMemory &cards = context.cards;
  cards.same_card = false;
  // Without a reader, or with one whose link went down, there is no field to look for a card in:
  // the operator learns what is really wrong, not that no card was found.
  if (context.handle <= 0) {
    if (!cyclic) context.report.Message(NoReaderText());
    return false;
  }

  // A card that still answers in its session has not left the field: one command, no RF reset,
  // so a card resting on the reader during a fast cycle is not disturbed.
  if (cyclic && !cards.last_uid.isEmpty() && KOVRA_DESFireGetFreeMemory(context.handle) >= 0) {
    cards.same_card = true;
    return false;
  }

  ResetRfField(context);
  const SelectedCard card = RequestAndSelect(context);
  if (card.outcome != SelectedCard::Outcome::kSelected && ReaderLinkLost(context.handle)) {
    context.report.Message(ReaderLostText());
    return false;
  }
  if (card.outcome == SelectedCard::Outcome::kNoAnswer) {
    if (!cyclic) context.report.Message(Texts::tr("Kein gültiger Transponder vorhanden!"));
    NoteEmptyField(context, card.error);
    return false;
  }
  if (card.outcome == SelectedCard::Outcome::kSelectFailed || card.uid.isEmpty()) {
    if (!CountsAsEmptyField(LastError(context))) {
      context.report.Line(ErrorLine(context, " <Select()>"));
    }
    return false;
  }
  cards.current_uid = card.uid;

  if (card.sak != kSakDesfire) {
    context.report.Message(RefusedCardLine(card.sak));
    return false;
  }

  cards.last_seen_tick = Now(context);
  if (cards.current_uid == cards.last_uid) {
    // Single operations never skip a card; a cycle skips the one it has just processed.
    if (cyclic) {
      cards.same_card = true;
      return false;
    }
  } else {
    cards.same_card = false;
  }
  return EnterIsoProtocol(context);
}

}  // namespace quillmate
