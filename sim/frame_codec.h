// The simulated reader's side of the wire: checks, reply frames, and a decoder that finds command
// frames in the byte stream a host sends. Written apart from the library's frame code on purpose,
// so that a fault there is not mirrored here.
//
//   family  command (host -> reader)  reply (reader -> host)  check
//   0       02 A C L D.. BCC          02 A S L D.. BCC        BCC: XOR from A to the last data byte
//   1       A C L D.. CRClo CRChi     A S L D.. CRClo CRChi   CRC-16/MODBUS over all bytes before
//   2, 3    1E C L D..                1E S L D..              none
//
// A reply length byte of 0xFF announces a block chain: blocks (n, n bytes) closed by one 0xFF,
// followed by the family's check bytes. Command frames always carry a plain length (0..255).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kovra_sim {

using Bytes = std::vector<uint8_t>;
using SimClock = std::chrono::steady_clock;

constexpr int kFamilyCount = 4;
constexpr uint8_t kFamily0Start = 0x02;
constexpr uint8_t kFamily23Start = 0x1E;
constexpr uint8_t kChainMark = 0xFF;
// The longest block of a chain, and the most data a plain reply can carry: 0xFF is the mark.
constexpr size_t kMaxPlainLength = 0xFE;

// XOR of all bytes; 0 for none.
uint8_t Xor8(const uint8_t *bytes, size_t count);
// CRC-16/MODBUS: initial value 0xFFFF, reflected polynomial 0xA001, no final XOR.
uint16_t ModbusCrc(const uint8_t *bytes, size_t count);

// A command frame as a host would send it (families 0..3). `command` is the byte on the wire,
// after any translation the host does; at most 255 data bytes (more are cut off).
Bytes EncodeCommand(int family, uint8_t address, uint8_t command, const Bytes &data);

// A reply frame. `body` is the data; with `block_chain` it is the chain body (block length bytes
// included, without the closing 0xFF) and goes out behind length byte 0xFF and before the closing
// 0xFF. A plain body longer than 254 bytes cannot be announced by one length byte and is sent as a
// chain of 254-byte blocks instead. `address` is used by families 0 and 1 only.
Bytes EncodeReply(int family, uint8_t address, uint8_t status, const Bytes &body,
                  bool block_chain = false);

// The chain body of these blocks: n, n bytes, ... without the closing mark. A block longer than
// kMaxPlainLength bytes is cut into several.
Bytes ChainBodyOf(const std::vector<Bytes> &blocks);

struct CommandFrame {
  Bytes raw;            // the frame exactly as it arrived
  uint8_t address = 0;  // families 0 and 1; 0 in families 2 and 3
  uint8_t command = 0;  // the command byte as on the wire
  Bytes data;
};

// Finds command frames of one family in a byte stream that may arrive in pieces and may carry
// noise. Resynchronisation, as a reader firmware does it:
//  - family 0 skips to the next 0x02 and drops a complete candidate whose BCC does not fit;
//  - family 1 has no start byte: it slides byte by byte until address, length and CRC fit, and
//    may skip an unfinished candidate for a later frame that is complete;
//  - families 2 and 3 skip to the next 0x1E (there is nothing to check).
// Bytes left unfinished for longer than `stale_after` are dropped when the next bytes arrive, the
// way a reader's inter-byte timeout ends a broken frame; otherwise a false start byte followed
// by a large length would swallow the next real frame in families 0, 2 and 3.
// Not thread-safe; the owner serialises calls.
class CommandDecoder {
 public:
  CommandDecoder(int family, uint8_t address, std::chrono::milliseconds stale_after);

  // Appends bytes that arrived at `now`; returns the complete frames they finished, in order.
  // Family 1 returns only frames for the decoder's address; families 0, 2 and 3 return every
  // frame and leave address filtering to the caller.
  std::vector<CommandFrame> Feed(const uint8_t *bytes, size_t count, SimClock::time_point now);

  // Forgets buffered bytes (they count as discarded).
  void Reset();
  size_t DiscardedBytes() const { return discarded_; }
  size_t BufferedBytes() const { return buffer_.size(); }

 private:
  enum class Candidate { kNotAFrame, kUnfinished, kFrame };
  // Judges the bytes from `offset` on as the start of a frame; on kFrame sets `length`.
  Candidate Judge(size_t offset, size_t &length) const;
  void Drop(size_t count);
  CommandFrame Take(size_t offset, size_t length);

  int family_;
  uint8_t address_;
  std::chrono::milliseconds stale_after_;
  Bytes buffer_;
  SimClock::time_point last_arrival_{};
  size_t discarded_ = 0;
};

}  // namespace kovra_sim
