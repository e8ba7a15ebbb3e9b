// The simulated reader's side of the wire: checks, reply frames, and the decoder of command
// frames.
#include "sim/frame_codec.h"

#include <algorithm>

namespace kovra_sim {
namespace {

constexpr size_t kMaxCommandData = 255;

// Bytes in front of the data and behind it, per family (command and reply frames alike).
size_t HeadLength(int family) {
  return family == 0 ? 4 : 3;
}
size_t CheckLength(int family) {
  return family == 0 ? 1 : family == 1 ? 2 : 0;
}

// Appends the family's check bytes over what the frame holds so far.
void AppendCheck(int family, Bytes &frame) {
  if (family == 0) {
    // The start byte stays out of the BCC.
    frame.push_back(Xor8(frame.data() + 1, frame.size() - 1));
  } else if (family == 1) {
    const uint16_t crc = ModbusCrc(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
  }
}

void AppendHead(int family, uint8_t address, uint8_t second, Bytes &frame) {
  if (family == 0) {
    frame.push_back(kFamily0Start);
    frame.push_back(address);
  } else if (family == 1) {
    frame.push_back(address);
  } else {
    frame.push_back(kFamily23Start);
  }
  frame.push_back(second);
}

}  // namespace

uint8_t Xor8(const uint8_t *bytes, size_t count) {
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum ^= bytes[i];
  return sum;
}

uint16_t ModbusCrc(const uint8_t *bytes, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) {
      const bool carry = (crc & 1) != 0;
      crc >>= 1;
      if (carry) crc ^= 0xA001;
    }
  }
  return crc;
}

Bytes EncodeCommand(int family, uint8_t address, uint8_t command, const Bytes &data) {
  const size_t length = std::min(data.size(), kMaxCommandData);
  Bytes frame;
  AppendHead(family, address, command, frame);
  frame.push_back(static_cast<uint8_t>(length));
  frame.insert(frame.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
  AppendCheck(family, frame);
  return frame;
}

Bytes ChainBodyOf(const std::vector<Bytes> &blocks) {
  Bytes body;
  for (const Bytes &block : blocks) {
    size_t at = 0;
    do {
      const size_t n = std::min(block.size() - at, kMaxPlainLength);
      body.push_back(static_cast<uint8_t>(n));
      body.insert(body.end(), block.begin() + static_cast<std::ptrdiff_t>(at),
                  block.begin() + static_cast<std::ptrdiff_t>(at + n));
      at += n;
    } while (at < block.size());
  }
  return body;
}

Bytes EncodeReply(int family, uint8_t address, uint8_t status, const Bytes &body,
                  bool block_chain) {
  Bytes frame;
  AppendHead(family, address, status, frame);
  if (block_chain || body.size() > kMaxPlainLength) {
    const Bytes chain = block_chain ? body : ChainBodyOf({body});
    frame.push_back(kChainMark);
    frame.insert(frame.end(), chain.begin(), chain.end());
    frame.push_back(kChainMark);
  } else {
    frame.push_back(static_cast<uint8_t>(body.size()));
    frame.insert(frame.end(), body.begin(), body.end());
  }
  AppendCheck(family, frame);
  return frame;
}

CommandDecoder::CommandDecoder(int family, uint8_t address, std::chrono::milliseconds stale_after)
    : family_(family), address_(address), stale_after_(stale_after) {}

void CommandDecoder::Reset() {
  Drop(buffer_.size());
}

void CommandDecoder::Drop(size_t count) {
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
  discarded_ += count;
}

CommandDecoder::Candidate CommandDecoder::Judge(size_t offset, size_t &length) const {
  const uint8_t *at = buffer_.data() + offset;
  const size_t available = buffer_.size() - offset;
  const size_t head = HeadLength(family_);
  if (family_ == 0 && at[0] != kFamily0Start) return Candidate::kNotAFrame;
  if (family_ == 1 && at[0] != address_) return Candidate::kNotAFrame;
  if (family_ >= 2 && at[0] != kFamily23Start) return Candidate::kNotAFrame;
  if (available < head) return Candidate::kUnfinished;

  length = head + at[head - 1] + CheckLength(family_);
  if (available < length) return Candidate::kUnfinished;
  if (family_ == 0 && Xor8(at + 1, length - 2) != at[length - 1]) return Candidate::kNotAFrame;
  if (family_ == 1) {
    const uint16_t crc = ModbusCrc(at, length - 2);
    if (at[length - 2] != (crc & 0xFF) || at[length - 1] != (crc >> 8)) {
      return Candidate::kNotAFrame;
    }
  }
  return Candidate::kFrame;
}

CommandFrame CommandDecoder::Take(size_t offset, size_t length) {
  const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(offset);
  CommandFrame frame;
  frame.raw.assign(first, first + static_cast<std::ptrdiff_t>(length));
  const size_t head = HeadLength(family_);
  if (family_ <= 1) frame.address = frame.raw[head - 3];
  frame.command = frame.raw[head - 2];
  frame.data.assign(frame.raw.begin() + static_cast<std::ptrdiff_t>(head),
                    frame.raw.end() - static_cast<std::ptrdiff_t>(CheckLength(family_)));
  buffer_.erase(first, first + static_cast<std::ptrdiff_t>(length));
  return frame;
}

std::vector<CommandFrame> CommandDecoder::Feed(const uint8_t *bytes, size_t count,
                                               SimClock::time_point now) {
  if (!buffer_.empty() && now - last_arrival_ > stale_after_) Drop(buffer_.size());
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  last_arrival_ = now;

  std::vector<CommandFrame> frames;
  for (;;) {
    size_t keep_from = buffer_.size();  // the first offset that may still become a frame
    bool found = false;
    for (size_t offset = 0; offset < buffer_.size(); ++offset) {
      size_t length = 0;
      const Candidate candidate = Judge(offset, length);
      if (candidate == Candidate::kFrame) {
        Drop(offset);
        frames.push_back(Take(0, length));
        found = true;
        break;
      }
      if (candidate == Candidate::kUnfinished) {
        keep_from = std::min(keep_from, offset);
        // With a start byte, an unfinished candidate is waited for: looking past it would let
        // a start byte inside its data begin a false frame. Family 1 must look past it, since
        // any byte may begin a frame there; its CRC and address keep false frames out.
        if (family_ != 1) break;
      }
    }
    if (!found) {
      Drop(keep_from);
      return frames;
    }
  }
}

}  // namespace kovra_sim
