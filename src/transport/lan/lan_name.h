// The names of network readers as port names carry them (the bus address suffix is already off):
//   "192.168.1.50-10001"   address, hyphen, TCP port (the last hyphen counts)
//   "192.168.1.50"         address alone: TCP port 10001
//   "[LOBBYDOOR7]..."      a reader identity in brackets, resolved to address-port when the port
//                          is opened; what stands outside the brackets is dropped
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kovra::lan {

// The bracketed part of a name (brackets included) when the name holds "[" and after it "]";
// nothing otherwise.
std::optional<std::string> BracketedIdentity(std::string_view name);

struct LanTarget {
  std::string address;  // as written; checked when the connection is made
  uint16_t port = 0;
};
// Splits "address-port" at the last hyphen, or takes the whole name as the address with port
// 10001. Nothing when the text after the hyphen is no port number (1 .. 65535).
std::optional<LanTarget> SplitTarget(std::string_view name);

// The address part of "address-port" (the text before the last hyphen), or the whole name.
std::string AddressPart(std::string_view name);

}  // namespace kovra::lan
