// Datagrams on the tracer's socket: anyone may send any bytes there. Only a 4-byte datagram is a
// value; its text is the bytes before the first zero byte, never more than four.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "tracer/trace_datagram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::optional<std::string> text = kovra::trace::DatagramText(data, static_cast<long>(size));
  if (text.has_value() != (size == 4)) std::abort();
  if (!text) return 0;
  if (text->size() > 4 || text->find('\0') != std::string::npos) std::abort();
  if (std::memcmp(text->data(), data, text->size()) != 0) std::abort();
  if (text->size() < 4 && data[text->size()] != 0) std::abort();
  return 0;
}
