// IPv4 addresses as the simulated network reader keeps them: four bytes in the order of their
// dotted form, and the subnet mask as a number of host bits.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kovra_sim {

using Ipv4 = std::array<uint8_t, 4>;

// "10.231.0.2"
std::string DottedAddress(const Ipv4 &address);
// Parses four dot-separated decimal numbers 0..255 and nothing else.
bool ParseDottedAddress(const std::string &text, Ipv4 *address);
// The mask of `host_bits` host bits: 8 gives 255.255.255.0, 0 gives 255.255.255.255.
Ipv4 MaskOfHostBits(unsigned host_bits);
// The 0 bits of a mask from its least significant bit up to the first 1 bit (32 for 0.0.0.0).
uint8_t HostBitsOfMask(const Ipv4 &mask);

}  // namespace kovra_sim
