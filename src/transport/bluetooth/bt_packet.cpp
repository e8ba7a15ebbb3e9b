// The Bluetooth module's packets, both directions (multi-byte numbers little-endian).
#include "transport/bluetooth/bt_packet.h"

#include <algorithm>

namespace kovra {
namespace {

constexpr uint8_t kStart = 0x02;
constexpr uint8_t kEnd = 0x03;

uint8_t Check(const uint8_t *header) {
  return static_cast<uint8_t>(header[1] + header[2] + header[3] + header[4]);
}

bool FromModule(uint8_t type) {
  return type == 'C' || type == 'i';
}

}  // namespace

BtBytes BuildBtRequest(uint8_t opcode, const BtBytes &payload) {
  BtBytes packet(BtPacketReader::kOverhead + payload.size());
  packet[0] = kStart;
  packet[1] = 'R';
  packet[2] = opcode;
  packet[3] = static_cast<uint8_t>(payload.size());
  packet[4] = static_cast<uint8_t>(payload.size() >> 8);
  packet[5] = Check(packet.data());
  std::copy(payload.begin(), payload.end(), packet.begin() + 6);
  packet.back() = kEnd;
  return packet;
}

size_t BtPacketReader::Append(const uint8_t *bytes, size_t count, Clock::time_point arrival) {
  const size_t taken = std::min(count, Room());
  buffer_.insert(buffer_.end(), bytes, bytes + taken);
  if (taken > 0) last_arrival_ = arrival;
  return taken;
}

bool BtPacketReader::DropStalePartial(Clock::time_point now) {
  if (buffer_.empty() || now - last_arrival_ < kPartialGap) return false;
  buffer_.erase(buffer_.begin());
  return true;
}

std::optional<BtPacket> BtPacketReader::Next() {
  for (;;) {
    const auto start = std::find(buffer_.begin(), buffer_.end(), kStart);
    buffer_.erase(buffer_.begin(), start);
    if (buffer_.size() < 6) return std::nullopt;
    const size_t length = buffer_[3] | static_cast<size_t>(buffer_[4]) << 8;
    if (!FromModule(buffer_[1]) || buffer_[5] != Check(buffer_.data()) ||
        length > kBufferSize - kOverhead) {
      buffer_.erase(buffer_.begin());
      continue;
    }
    const size_t total = kOverhead + length;
    if (buffer_.size() < total) return std::nullopt;
    if (buffer_[total - 1] != kEnd) {
      buffer_.erase(buffer_.begin());
      continue;
    }
    BtPacket packet;
    packet.type = buffer_[1];
    packet.opcode = buffer_[2];
    packet.payload.assign(buffer_.begin() + 6, buffer_.begin() + 6 + static_cast<long>(length));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(total));
    return packet;
  }
}

}  // namespace kovra
