// The card in the field as a PC/SC contactless reader presents it to its host: the reader has
// activated the card itself and shows it as an ATR, answers its own pseudo-APDU for the UID, and
// passes ISO 7816-4 wrapped native DESFire commands to an ISO 14443-4 card.
//
// ATR (built the way PC/SC readers build it for contactless cards):
//   ISO 14443-4 card   3B 8n 80 01, the n historical bytes of its ATS (at most 15), TCK
//   Classic 1K/4K,     3B 8F 80 01 80 4F 0C, RID A0 00 00 03 06, standard 03 (ISO 14443 A
//   Ultralight           part 3), card name 00 01 | 00 02 | 00 03, 00 00 00 00, TCK
// TCK is the XOR of every byte from T0 on.
//
// APDUs (short APDUs only):
//   FF CA 00 00 Le   the UID, 90 00 (Le 00: all of it; a shorter Le: 6C and the length)
//   FF CA 01 00 Le   the ATS's historical bytes (ISO 14443-4 cards), 90 00
//   90 INS 00 00 [Lc data] [00]   the native frame INS data to the ISO 14443-4 card; answered
//                    with the card's data and 91, its status byte (so 91 AF asks for the next
//                    frame, sent as 90 AF 00 00 [Lc data] 00)
// Errors: 67 00 a wrong length, 6A 81 a function the card or reader lacks (no card, FF CA to a
// card without it, a wrapped command to a card without ISO 14443-4), 6A 86 P1 P2 not 00 00 for a
// wrapped command, 6D 00 another FF instruction, 6E 00 another class.
//
// The field is used as the reader's firmware uses it (the caller holds the reader's lock):
// activation, the exchange count (the remove-after fault), writes restarting a fed card's time.
#pragma once

#include "sim/cards.h"
#include "sim/field.h"
#include "sim/frame_codec.h"

namespace kovra_sim {

// The ATR a PC/SC reader shows for this card.
Bytes ContactlessAtr(const Card &card);

// Power on or reset of the slot: the field on and the card activated as the reader does it
// (select, and RATS for an ISO 14443-4 card), which resets the card's session.
void ActivateContactlessCard(Field &field);

// The response APDU (data and the two status bytes) to one command APDU for the card in the
// field. Never empty.
Bytes AnswerContactlessApdu(Field &field, const Bytes &apdu);

}  // namespace kovra_sim
