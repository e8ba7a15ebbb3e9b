// What a single card operation started by the operator ends with: the write and read runs, the
// format and the application delete all answer with a RunResult.
#pragma once

#include <QByteArray>

#include "writer/job/job_check.h"

namespace quillmate {

struct RunResult {
  // A refused job or field (check.ok false): the card was not touched; the front end shows
  // check.message and focuses check.field.
  JobCheck check;
  // Whether the card operation succeeded (false also after a refusal).
  bool done = false;
  // The UID of the card that answered the select; empty when none did.
  QByteArray card_uid;
};

}  // namespace quillmate
