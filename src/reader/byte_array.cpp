// CMyByteArray: the growable byte buffer of the library (send and receive buffers, command data,
// replies) and of the writer.
#include "reader/byte_array.h"

#include <stdexcept>

namespace kovra {

CMyByteArray::CMyByteArray(const uint8_t *bytes, size_t count) {
  if (count > 0) bytes_.assign(bytes, bytes + count);
}

uint8_t &CMyByteArray::operator[](size_t index) {
  if (index >= bytes_.size()) throw std::invalid_argument("CMyByteArray index out of range");
  return bytes_[index];
}

uint8_t CMyByteArray::operator[](size_t index) const {
  if (index >= bytes_.size()) throw std::invalid_argument("CMyByteArray index out of range");
  return bytes_[index];
}

void CMyByteArray::Append(const uint8_t *bytes, size_t count) {
  if (count > 0) bytes_.insert(bytes_.end(), bytes, bytes + count);
}

void CMyByteArray::InsertAt(size_t index, uint8_t value, size_t count) {
  if (index > bytes_.size()) throw std::invalid_argument("CMyByteArray insert past the end");
  bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(index), count, value);
}

void CMyByteArray::RemoveAt(size_t index, size_t count) {
  if (index > bytes_.size() || count > bytes_.size() - index) {
    throw std::invalid_argument("CMyByteArray remove past the end");
  }
  auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(index);
  bytes_.erase(first, first + static_cast<std::ptrdiff_t>(count));
}

}  // namespace kovra
