#include "sim/vpcd_framing.h"

#include <cstdio>

namespace kovra_sim {

bool VpcdFramer::Feed(const uint8_t *bytes, size_t count) {
  if (!error_.empty()) return false;
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  // Every header is checked as soon as it is there, so a broken message is refused before the
  // bytes it announces arrive.
  for (size_t at = 0; at + 2 <= buffer_.size();) {
    const size_t length = static_cast<size_t>(buffer_[at]) << 8 | buffer_[at + 1];
    if (length == 0 || length > kMaxMessage) {
      error_ = length == 0 ? "an empty message"
                           : "a message of " + std::to_string(length) + " bytes (at most " +
                                 std::to_string(kMaxMessage) + ")";
    } else if (length == 1 && at + 3 <= buffer_.size()) {
      const uint8_t control = buffer_[at + 2];
      if (control != 0 && control != 1 && control != 2 && control != 4) {
        char text[48];
        std::snprintf(text, sizeof text, "an unknown control byte 0x%02X", control);
        error_ = text;
      }
    }
    if (!error_.empty()) {
      buffer_.resize(at);  // the sound messages before it are still taken
      return false;
    }
    at += 2 + length;
  }
  return true;
}

std::optional<VpcdMessage> VpcdFramer::Next() {
  if (buffer_.size() < 2) return std::nullopt;
  const size_t length = static_cast<size_t>(buffer_[0]) << 8 | buffer_[1];
  if (buffer_.size() < 2 + length) return std::nullopt;
  VpcdMessage message;
  if (length == 1) {
    message.control = static_cast<VpcdControl>(buffer_[2]);
  } else {
    message.apdu.assign(buffer_.begin() + 2, buffer_.begin() + 2 + static_cast<long>(length));
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + 2 + static_cast<long>(length));
  return message;
}

Bytes EncodeVpcdMessage(const Bytes &payload) {
  // Built from an empty vector: GCC 12 warns falsely (array-bounds) about inserting behind an
  // initializer list.
  Bytes message;
  message.reserve(2 + payload.size());
  message.push_back(static_cast<uint8_t>(payload.size() >> 8));
  message.push_back(static_cast<uint8_t>(payload.size()));
  message.insert(message.end(), payload.begin(), payload.end());
  return message;
}

}  // namespace kovra_sim
