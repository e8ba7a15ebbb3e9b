// The bytes a card's data file hands back when it is read: any bytes, up to the job's length,
// under any job settings the read checks let through. Turning them into the data text, and
// counting on from that text, must never crash or read past them; the text of a number is never
// longer than its field shows.
#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "writer/job/data_codec.h"
#include "writer/job/desfire_set.h"
#include "writer/job/key_plan.h"

using namespace quillmate;

// Two header bytes: the length of the file (0 to 255), then bits 0-1 the number format, bit 2
// binary representation, bit 3 rotated, bit 4 leading zeros, bit 5 prefix text allowed. The rest
// is what the card answered.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  DesfireSet job;
  job.length = data[0];
  job.number_format = static_cast<NumberFormat>(data[1] & 3);
  job.representation = (data[1] & 4) ? Representation::kBinary : Representation::kAscii;
  job.orientation = (data[1] & 8) ? Orientation::kRotated : Orientation::kNormal;
  job.leading_zeros = (data[1] & 0x10) != 0;
  job.prefix_allowed = (data[1] & 0x20) != 0;
  KeyPlan plan;
  if (!ValidateReadJob(job, plan).ok) return 0;

  // The read asks for the job's length and takes at most that many bytes.
  const QByteArray read(reinterpret_cast<const char *>(data + 2),
                        static_cast<qsizetype>(std::min<size_t>(size - 2, job.length)));
  job.data = DecodeData(job, read);
  const bool number =
      job.representation == Representation::kBinary && job.number_format != NumberFormat::kNone;
  // A decimal value reads as a signed 64-bit number: its minus sign comes on top of the digits.
  if (number && job.data.size() > MaxDataChars(job) + 1) std::abort();

  // The next value of a counting series starts from what was read.
  NormaliseValue(job, 1);
  return 0;
}
