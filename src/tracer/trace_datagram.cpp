// What the tracer makes of one datagram on its socket: a trace value of up to four characters.
#include "tracer/trace_datagram.h"

namespace kovra::trace {

std::optional<std::string> DatagramText(const unsigned char *bytes, long length) {
  constexpr long kValueBytes = 4;
  if (length != kValueBytes) return std::nullopt;
  std::string text;
  for (long i = 0; i < kValueBytes && bytes[i] != 0; ++i) text += static_cast<char>(bytes[i]);
  return text;
}

}  // namespace kovra::trace
