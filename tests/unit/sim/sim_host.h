// A minimal host for the simulator tests: frames firmware commands in a family the way a host
// does (with the wire codes of families 2 and 3), feeds them to a SimReader and takes the reply
// apart again.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "sim/frame_codec.h"
#include "sim/reader.h"
#include "sim/reply.h"
#include "unit/reader/hex.h"

namespace kovra_sim_test {

using kovra_sim::Bytes;

// The command byte on the wire for a firmware command; families 2 and 3 fold the field switch's
// parameter into the code.
inline uint8_t WireCode(int family, uint8_t code, Bytes &data) {
  if (family < 2) return code;
  switch (code) {
    case 0xF0:
      return family == 2 ? 0x0B : 0x60;
    case 0xF5: {
      const bool on = !data.empty() && data[0] != 0;
      data.clear();
      return on ? 0x0C : 0x0D;
    }
    case 0xF6:
      return 0x07;
    default:
      return code;
  }
}

inline Bytes CommandFrame(int family, uint8_t code, Bytes data, uint8_t address = 1) {
  const uint8_t wire = WireCode(family, code, data);
  return kovra_sim::EncodeCommand(family, address, wire, data);
}

struct ParsedReply {
  bool complete = false;
  uint8_t status = 0;
  std::string data;  // hex
};

// Takes one plain reply frame apart (no block chains, no check).
inline ParsedReply ParseReply(int family, const Bytes &reply) {
  ParsedReply parsed;
  const size_t head = family == 0 ? 4 : 3;
  const size_t tail = family == 0 ? 1 : family == 1 ? 2 : 0;
  if (reply.size() < head) return parsed;
  const size_t length = reply[head - 1];
  if (reply.size() != head + length + tail) return parsed;
  parsed.complete = true;
  parsed.status = reply[head - 2];
  parsed.data = kovra_test::ToHex(reply.data() + head, length);
  return parsed;
}

// Connects to a reader and collects what it emits. Declare it before the reader.
class Host {
 public:
  Host(kovra_sim::SimReader &reader, int family) : reader_(reader), family_(family) {
    reader.Connect([this](const uint8_t *bytes, size_t count) {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.insert(received_.end(), bytes, bytes + count);
    });
  }
  // Sends a firmware command and returns the reply that came back at once.
  ParsedReply Send(uint8_t code, const Bytes &data = {}) {
    reader_.Receive(CommandFrame(family_, code, data, reader_.Config().address));
    return ParseReply(family_, Take());
  }
  ParsedReply Send(uint8_t code, const std::string &hex_data) {
    return Send(code, kovra_test::Hex(hex_data));
  }
  Bytes Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    Bytes all;
    all.swap(received_);
    return all;
  }
  // The status byte a reply with this outcome carries for `code` in the host's family.
  uint8_t Status(kovra_sim::ReplyStatus status, uint8_t code, Bytes data = {}) const {
    return kovra_sim::StatusByte(family_, status, WireCode(family_, code, data), 0);
  }
  int Family() const { return family_; }

 private:
  kovra_sim::SimReader &reader_;
  int family_;
  std::mutex mutex_;
  Bytes received_;
};

}  // namespace kovra_sim_test
