// The keys one card gets: a job's key plan with every key that is derived per card replaced by
// the card's own key. The write, read, verify and repair sequences take their plan from here at
// their start, so none of them can meet a card with a master key.
#pragma once

#include <QByteArray>
#include <QString>

#include "writer/job/key_plan.h"

namespace quillmate {

struct CardKeys {
  bool ok = false;
  // A refusal's status line: the card has no UID the derivation can use, or the UID and the
  // system identifier together are longer than the derivation takes.
  QString refusal;
  // The card's plan: derived keys in place of their master keys, no derivation left. A plan
  // without derivation comes back unchanged.
  KeyPlan plan;
};

// True for a UID a card shows anew at every activation (4 bytes starting with 08): a key derived
// from it would open the card only until it leaves the field.
bool IsRandomUid(const QByteArray &uid);

// The keys of the card with `uid` (as the select gave it). Every derived key is an AES-128 key:
// the input is the UID, the AID (0 for the card master key, the plan's application for every
// other key) and the system identifier. Refused for an empty or random UID, before anything is
// sent to the card.
CardKeys CardKeyPlan(const KeyPlan &plan, const QByteArray &uid);

}  // namespace quillmate
