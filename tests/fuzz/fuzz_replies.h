// Hands out a fuzz input as one reader reply per command: a status byte as it goes on the wire, a
// length byte, then that many data bytes. When the input is used up, every further command gets
// the error status the target chose.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "sim/reader.h"

namespace kovra_fuzz {

class FuzzReplies {
 public:
  FuzzReplies(const uint8_t *data, size_t size, kovra_sim::ReplyStatus when_used_up)
      : data_(data), size_(size), when_used_up_(when_used_up) {}
  kovra_sim::Reply Next() {
    if (pos_ + 2 > size_) return kovra_sim::Reply::Error(when_used_up_);
    const uint8_t status = data_[pos_];
    const size_t length = std::min<size_t>(data_[pos_ + 1], size_ - pos_ - 2);
    pos_ += 2;
    kovra_sim::Bytes bytes(data_ + pos_, data_ + pos_ + length);
    pos_ += length;
    return kovra_sim::Reply::Raw(status, std::move(bytes));
  }

 private:
  const uint8_t *data_;
  size_t size_;
  kovra_sim::ReplyStatus when_used_up_;
  size_t pos_ = 0;
};

}  // namespace kovra_fuzz
