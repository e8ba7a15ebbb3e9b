// Little-endian numbers in DESFire frames (AIDs, offsets, lengths, sizes, access rights).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kovra_sim {

inline uint32_t Le24(const std::vector<uint8_t> &bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (static_cast<uint32_t>(bytes[at + 2]) << 16);
}

inline uint16_t Le16(const std::vector<uint8_t> &bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline void AppendLe24(std::vector<uint8_t> &bytes, uint32_t value) {
  bytes.push_back(static_cast<uint8_t>(value));
  bytes.push_back(static_cast<uint8_t>(value >> 8));
  bytes.push_back(static_cast<uint8_t>(value >> 16));
}

}  // namespace kovra_sim
