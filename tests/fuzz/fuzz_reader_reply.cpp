// Reader replies as they come off the link: any bytes, in any family. Finding the frame end,
// the check and the parse must never crash, read out of bounds or loop.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "reader/frame.h"

using namespace kovra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const int family = data[0] % frame::kFamilyCount;
  const uint8_t echo = data[1];
  const uint8_t *reply = data + 2;
  size_t count = size - 2;

  // The waiting loop: drop what stands before the start byte, then look for the frame's end.
  const size_t garbage = frame::LeadingGarbage(family, reply, count);
  if (garbage > count) std::abort();
  reply += garbage;
  count -= garbage;
  if (count >= frame::HeaderLength(family)) {
    const auto complete = frame::CompleteLength(family, reply, count);
    if (complete && (*complete > count || *complete < frame::HeaderLength(family))) std::abort();
  }

  // The parse sees the whole receive buffer, whether or not it holds a complete frame.
  CMyByteArray parsed;
  const frame::ParseResult result = frame::ParseReply(family, echo, reply, count, parsed);
  if (result.ok && parsed.GetSize() > count) std::abort();
  if (!result.ok && (result.error == 0 || !parsed.IsEmpty())) std::abort();
  return 0;
}
