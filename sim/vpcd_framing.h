// The message framing of vsmartcard's virtual reader driver (vpcd) between the driver and a
// virtual card: every message is a 2-byte big-endian length and that many bytes. A 1-byte
// message from the driver is a control (power off, power on, reset, get ATR); a longer one is a
// command APDU. The card answers the ATR request with its ATR and each APDU with its response
// APDU, framed the same way; power and reset get no answer.
//
// No sockets here, so that the parser is fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/frame_codec.h"

namespace kovra_sim {

enum class VpcdControl : uint8_t { kPowerOff = 0, kPowerOn = 1, kReset = 2, kGetAtr = 4 };

// One message from the driver.
struct VpcdMessage {
  std::optional<VpcdControl> control;  // a control message
  Bytes apdu;                          // otherwise: the command APDU
};

// Cuts the driver's byte stream into messages. A message the card cannot take ends the
// stream for good: a length of 0, a length above the longest short APDU (the card speaks no
// extended lengths), an unknown control byte. The caller then closes the connection; the driver
// sees the card go.
class VpcdFramer {
 public:
  // CLA INS P1 P2 Lc, 255 data bytes, Le.
  static constexpr size_t kMaxMessage = 261;

  // Takes more bytes; false once the stream is broken (see Error()). The complete messages before
  // the broken one can still be taken; bytes from it on are dropped, and later ones ignored.
  bool Feed(const uint8_t *bytes, size_t count);
  // The oldest complete message, if any.
  std::optional<VpcdMessage> Next();
  // Why the stream broke; empty while it is sound.
  const std::string &Error() const { return error_; }
  // Bytes of a message not yet complete: the stream ended inside a message when this is not 0 at
  // its end.
  size_t Buffered() const { return buffer_.size(); }

 private:
  Bytes buffer_;
  std::string error_;
};

// A message to the driver: the length in front of `payload` (at most 65535 bytes).
Bytes EncodeVpcdMessage(const Bytes &payload);

}  // namespace kovra_sim
