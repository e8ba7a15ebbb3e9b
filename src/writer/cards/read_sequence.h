// The read sequence: reads the job's data file from one activated card, authenticating with the
// job's read key or, failing that, with its read/write key. It never changes the card.
#pragma once

#include <QByteArray>

#include "writer/cards/writer_context.h"
#include "writer/job/desfire_set.h"
#include "writer/job/key_plan.h"

namespace quillmate {

// Reads job.length bytes from offset 0 of file job.file_id in application job.app_id of the card
// activated by DetectCard, with the card's own keys where the plan derives them (CardKeyPlan; a
// card without a fixed UID is refused with its status line before anything is sent). The read right
// (plan.read_nibble) is tried first: a key number is authenticated with plan.read_key (AES, then
// ISO/3DES), free access reads plainly. When that key fails, or free access is refused by the card,
// the read/write right takes over with plan.read_write_key. Every authentication writes its status
// line (fixed texts through Message(), library errors through Line() with their bracketed step
// tag). Result: true with the bytes read in `bytes`; false with `bytes` empty and a status line. A
// job length of 0 reads nothing: true with an empty array once the right key is authenticated (the
// card would take a length of 0 as "the whole file"). The caller decodes the bytes, reports the
// success and writes the read log; the last UID is the caller's to update.
bool ReadCard(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
              QByteArray &bytes);

}  // namespace quillmate
