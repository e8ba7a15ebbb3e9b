// The Bluetooth module's packets, both directions (multi-byte numbers little-endian):
//   0x02, type, opcode, payload length (2), check (sum of the four bytes before it), payload, 0x03
// with type 'R' for a request from the host, 'C' for a confirmation and 'i' for an indication
// from the module. An incoming packet is known by its event: opcode * 256 + type.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kovra {

using BtBytes = std::vector<uint8_t>;

struct BtPacket {
  uint8_t type = 0;
  uint8_t opcode = 0;
  BtBytes payload;
  uint16_t Event() const { return static_cast<uint16_t>(opcode << 8 | type); }
};

// A request packet with `payload`.
BtBytes BuildBtRequest(uint8_t opcode, const BtBytes &payload = {});

// Turns the bytes from the module into packets. Only whole packets that check out come out: the
// start byte, a type the module sends, the check byte, a length that fits the buffer and the end
// byte. Where one of them is wrong, the start byte is dropped and the search goes on from the
// next 0x02, so one stray byte costs no more than itself. A bare 7-byte packet (no payload) is a
// packet like any other.
//
// A header that announces more bytes than ever come (a corrupted length with a valid check byte)
// would swallow the packets after it until its length is made up. So a partial packet that has
// not grown for kPartialGap, while the module had nothing more to give, is given up: its start
// byte is dropped and the search goes on from the next 0x02 inside it.
class BtPacketReader {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr size_t kBufferSize = 1000;
  static constexpr size_t kOverhead = 7;
  // A module sends each packet in one go; even at 9600 baud its bytes are a millisecond apart.
  static constexpr std::chrono::milliseconds kPartialGap{50};

  // How many more bytes fit into the buffer.
  size_t Room() const { return kBufferSize - buffer_.size(); }
  // Appends at most Room() of the bytes, which arrived at `arrival`; returns how many it took.
  size_t Append(const uint8_t *bytes, size_t count, Clock::time_point arrival = Clock::now());
  // The next complete packet, or nothing while none is complete.
  std::optional<BtPacket> Next();
  // Call when Next() gave nothing and the module has no more bytes now: drops the start byte of a
  // partial packet to which nothing was added for kPartialGap before `now`. True when it dropped
  // one (Next() may then find a packet that the partial one had swallowed).
  bool DropStalePartial(Clock::time_point now = Clock::now());
  size_t Buffered() const { return buffer_.size(); }

 private:
  BtBytes buffer_;
  Clock::time_point last_arrival_{};
};

}  // namespace kovra
