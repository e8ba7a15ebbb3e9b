// CMyByteArray: the growable byte buffer of the library (send and receive buffers, command data,
// replies) and of the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kovra {

class CMyByteArray {
 public:
  CMyByteArray() = default;
  CMyByteArray(const uint8_t *bytes, size_t count);
  CMyByteArray(std::initializer_list<uint8_t> bytes) : bytes_(bytes) {}
  explicit CMyByteArray(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  size_t GetSize() const { return bytes_.size(); }
  bool IsEmpty() const { return bytes_.empty(); }
  void SetSize(size_t size) { bytes_.resize(size); }
  void RemoveAll() { bytes_.clear(); }

  // Bounds-checked element access: an index outside 0..size-1 is a programming error and throws
  // std::invalid_argument. The C API catches it, so it never reaches a caller of the library.
  uint8_t &operator[](size_t index);
  uint8_t operator[](size_t index) const;
  uint8_t GetAt(size_t index) const { return (*this)[index]; }

  void Add(uint8_t byte) { bytes_.push_back(byte); }
  void Append(const uint8_t *bytes, size_t count);
  void Append(const CMyByteArray &other) { Append(other.GetData(), other.GetSize()); }
  // Inserts count copies of value before index; index == size appends. Throws past the end.
  void InsertAt(size_t index, uint8_t value, size_t count = 1);
  // Removes count bytes from index on. Throws if the range runs past the end.
  void RemoveAt(size_t index, size_t count = 1);

  const uint8_t *GetData() const { return bytes_.data(); }
  uint8_t *GetData() { return bytes_.data(); }
  const std::vector<uint8_t> &Bytes() const { return bytes_; }

  bool operator==(const CMyByteArray &other) const { return bytes_ == other.bytes_; }
  bool operator!=(const CMyByteArray &other) const { return !(*this == other); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace kovra
