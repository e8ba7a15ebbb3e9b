// The write sequence: personalises one activated DESFire card from the job. It installs the card
// master key, makes sure the job's application exists with the job's keys and holds a standard
// data file of the job's size, communication mode and access rights, and writes the data into it.
// What does not match is repaired: factory keys get the job's keys, and an application or file
// that does not fit is deleted and created anew in a further pass (at most three).
#pragma once

#include <QByteArray>
#include <optional>

#include "writer/cards/writer_context.h"
#include "writer/job/desfire_set.h"
#include "writer/job/key_plan.h"

namespace quillmate {

// What a write leaves to its caller besides success or failure.
struct WriteDetails {
  // Set after a failure when a data write reached the card and its outcome is unknown (no answer,
  // a broken or unverifiable answer): the card may hold the data although the sequence failed.
  // Stays false when the card refused the write with a status of its own or the write never went
  // out.
  bool data_may_be_on_card = false;
  // After a success: the whole file as the card now holds it. A file larger than the job's data
  // (kept from an earlier job) gets zeros after them in the same write, as a new file holds, so
  // no tail of an earlier value stays behind.
  QByteArray file_image;
  // The job's length of bytes the file held before this write, when the application and the file
  // were already on the card and the job's read right could read them; empty otherwise.
  std::optional<QByteArray> earlier_data;
};

// Writes `data` (the job's encoded bytes) to the card that DetectCard has activated on
// context.handle, with the card's own keys where the plan derives them (CardKeyPlan; a card without
// a fixed UID is then refused before anything is sent). True when the card has taken all bytes.
// False otherwise, after a status line through context.report that names the step (the last pass's
// line when all four passes failed); the card is left as far as the sequence got (keys already
// changed stay changed, a deleted application stays deleted). A repair pass runs DetectCard again
// and, while no card is found, asks the front end "Bitte Karte auflegen!" (Cancel ends the
// sequence).
//
// A card the sequence changed and then lost (taken away, another card laid in its place during a
// repair pass, the reader gone, the data write unanswered) gets a last status line with its UID
// and what it still lacks. During a repair pass the question names the card begun, and a
// different card is named and not written. After a data write whose outcome is unknown the
// repair goes on only on the card begun: a different card laid then ends the sequence at once
// (the begun card may hold the data, so its value must not wait for it while other cards come).
bool WriteCard(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
               const QByteArray &data, WriteDetails *details = nullptr);

}  // namespace quillmate
