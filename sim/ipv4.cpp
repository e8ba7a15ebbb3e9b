// IPv4 addresses as the simulated network reader keeps them.
#include "sim/ipv4.h"

#include <charconv>

namespace kovra_sim {

std::string DottedAddress(const Ipv4 &address) {
  return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
         std::to_string(address[2]) + "." + std::to_string(address[3]);
}

bool ParseDottedAddress(const std::string &text, Ipv4 *address) {
  const char *at = text.data();
  const char *end = text.data() + text.size();
  Ipv4 parsed{};
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0) {
      if (at == end || *at != '.') return false;
      ++at;
    }
    unsigned value = 0;
    const auto [stop, failure] = std::from_chars(at, end, value);
    if (failure != std::errc() || stop == at || stop - at > 3 || value > 255) return false;
    parsed[i] = static_cast<uint8_t>(value);
    at = stop;
  }
  if (at != end) return false;
  *address = parsed;
  return true;
}

Ipv4 MaskOfHostBits(unsigned host_bits) {
  const uint32_t mask = host_bits >= 32 ? 0 : 0xFFFFFFFFu << host_bits;
  return {static_cast<uint8_t>(mask >> 24), static_cast<uint8_t>(mask >> 16),
          static_cast<uint8_t>(mask >> 8), static_cast<uint8_t>(mask)};
}

uint8_t HostBitsOfMask(const Ipv4 &mask) {
  const uint32_t value =
      static_cast<uint32_t>(mask[0]) << 24 | mask[1] << 16 | mask[2] << 8 | mask[3];
  uint8_t bits = 0;
  while (bits < 32 && (value >> bits & 1) == 0) ++bits;
  return bits;
}

}  // namespace kovra_sim
