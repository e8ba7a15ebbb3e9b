// The write sequence: personalises one activated DESFire card from the job. It installs the card
// master key, makes sure the job's application exists with the job's keys and holds a standard
// data file of the job's size, communication mode and access rights, and writes the data into it.
// What does not match is repaired: factory keys get the job's keys, and an application or file
// that does not fit is deleted and created anew in a further pass (at most three).
#pragma once

#include <QByteArray>

#include "writer/desfire_set.h"
#include "writer/key_plan.h"
#include "writer/writer_context.h"

namespace quillmate {

// Writes `data` (the job's encoded bytes) to the card that DetectCard has activated on
// context.handle. True when the card has taken all bytes. False otherwise, after a status line
// through context.report that names the step (the last pass's line when all four passes failed);
// the card is left as far as the sequence got (keys already changed stay changed, a deleted
// application stays deleted). A repair pass runs DetectCard again and, while no card is found,
// asks the front end "Bitte Karte auflegen!" (Cancel ends the sequence).
//
// `data_may_be_on_card`, when given, is set after a failure when a data write reached the card
// and its outcome is unknown (no answer, a broken or unverifiable answer): the card may hold the
// data although the sequence failed. It stays false when the card refused the write with a status
// of its own or the write never went out.
//
// A card the sequence changed and then lost (taken away, another card laid in its place during a
// repair pass, the reader gone, the data write unanswered) gets a last status line with its UID
// and what it still lacks. During a repair pass the question names the card begun, and a
// different card is named and not written.
bool WriteCard(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
               const QByteArray &data, bool *data_may_be_on_card = nullptr);

}  // namespace quillmate
