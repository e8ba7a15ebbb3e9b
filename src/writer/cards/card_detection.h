// Card detection: makes sure one DESFire card lies on the reader, activates it up to ISO 14443-4
// (request, select, SAK check, RATS, PPS) and records its UID; in cyclic operation it recognises
// the card just processed so that it is not processed twice.
#pragma once

#include "writer/cards/writer_context.h"

namespace quillmate {

// True when a DESFire card is activated and ready for DESFire commands. cyclic: called from a
// cycle tick (an empty field is then silent, and the card processed last is skipped). Failures
// write their status line through the context; the card is left untouched.
bool DetectCard(WriterContext &context, bool cyclic);

}  // namespace quillmate
