// What the tracer makes of one datagram on its socket: a 4-byte datagram is a little-endian value
// of up to four characters, the first character in the lowest byte, ended early by a zero byte;
// a datagram of any other length is not a trace value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kovra::trace {

// The characters of a datagram whose real length is `length` (as recv reports it with
// MSG_TRUNC, so it may exceed the bytes kept at `bytes`; only a length of 4 reads them).
// Nothing when the datagram is to be ignored; an empty text for a value of zero bytes.
std::optional<std::string> DatagramText(const unsigned char *bytes, long length);

}  // namespace kovra::trace
