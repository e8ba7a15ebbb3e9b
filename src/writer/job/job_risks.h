// What in a write job is risky although the job check accepts it: the job would write cards, but
// probably not the cards the operator meant. Front ends show these as warnings before the first
// card ("quillmate-cli job check", the CLI's write, the window).
#pragma once

#include <QStringList>

#include "writer/job/desfire_set.h"

namespace quillmate {

// A key text the job set / the window take: empty (the factory default key) or exactly 32 hex
// digits. Shorter texts are still read from files (zero-filled), but a typed one is a typo.
bool IsFullKeyText(QStringView text);

// How many cards ahead a cycle, which has no count of its own, checks that its counting value
// still fits the file: more than a line writes in a long day, so that a series that runs out
// during the shift is announced before its first card.
inline constexpr int kCycleLookAheadCards = 10000;

// One line per risk, each naming the job keys concerned:
// - a key shorter than 32 digits (it is filled with zeros);
// - the same key in two places (with derivation: one master key for two roles, or a master key
//   that is also a plain key and so lands on every card);
// - free write access to the file; with a key derived per card, every free right;
// - the card master key left at the factory key while the application is locked;
// - a chosen access right past the key count (it acts as "Kein Zugriff");
// - a counting value that outgrows the file within `series_cards` cards (0: not checked; a cycle
//   passes kCycleLookAheadCards).
// Empty when nothing is risky.
QStringList JobRisks(const DesfireSet &job, int series_cards);

}  // namespace quillmate
