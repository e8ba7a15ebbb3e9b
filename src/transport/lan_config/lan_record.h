// What the configuration records of a network reader say, and the texts made from them: reader
// identities, search entries, masks and the address specification of a new configuration. Pure
// functions on payloads that came off the network, so every reader checks its bounds itself.
//
// The setup record (record 0, at least 120 bytes):
//   0 .. 3     configured IPv4 address; 0.0.0.0: the reader takes its address by DHCP
//   6          host bits of the subnet mask (32 minus the prefix length)
//   12 .. 15   gateway
//   20 .. 21   TCP port of the reader protocol, low byte first
//   84 .. 91   characters 9 .. 16 of the device name
//   112 .. 119 characters 1 .. 8 of the device name
// Record 2 holds a NUL-terminated product name from byte 93; record 3 repeats characters 9 .. 16
// of the device name in bytes 102 .. 109.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/lan_config/lan_datagram.h"

namespace kovra::lan {

// Where the fields lie in the records (see above).
namespace at {
constexpr size_t kAddress = 0;
constexpr size_t kHostBits = 6;
constexpr size_t kGateway = 12;
constexpr size_t kTcpPort = 20;
constexpr size_t kNameTail = 84;     // characters 9 .. 16 of the device name
constexpr size_t kProductName = 93;  // record 2
constexpr size_t kRecord3NameTail = 102;
constexpr size_t kNameHead = 112;  // characters 1 .. 8
constexpr size_t kNameHalf = 8;
// The identify reply.
constexpr size_t kExtendedMark = 11;  // "ULO": the extended address assignment is understood
constexpr size_t kIdentifier = 20;    // 6 bytes
}  // namespace at

constexpr Ipv4 kAnyAddress{0, 0, 0, 0};
constexpr char kBroadcastAddress[] = "255.255.255.255";

// "a.b.c.d".
std::string Dotted(const Ipv4 &address);
// Four decimal numbers 0 .. 255 separated by dots and nothing else; nothing otherwise.
std::optional<Ipv4> ParseDotted(std::string_view text);

// Fields of a setup record; each needs a record of at least kRecordReplySize bytes (a shorter one
// reads as zeros and an empty name).
Ipv4 ConfiguredAddress(const Bytes &record);
int HostBits(const Bytes &record);
Ipv4 Gateway(const Bytes &record);
uint16_t TcpPort(const Bytes &record);
// The device name as "%.8s%.8s" of bytes 112 and 84 (each half stops at a NUL).
std::string DeviceName(const Bytes &record);
// The reader identity: "[" + DeviceName + "]".
std::string ReaderIdentity(const Bytes &record);

// The search entry of a reader whose setup record came from `sender`: "a.b.c.d-port" when the
// configured address is the sender's (fixed address), else identity + sender + "-" + port (DHCP),
// as in "[NORTHGATE1]10.0.0.7-10001".
std::string SearchEntry(const Bytes &record, const Ipv4 &sender);

// The product name of record 2 (from byte 93 up to a NUL or the end); empty for a record shorter
// than kProductRecordSize.
std::string ProductName(const Bytes &record2);
// Whether a product name is one of the maker's readers: it begins with "KV-" in any letter case.
bool IsMakersProduct(std::string_view product_name);

// The mask whose bits from `host_bits` up to 31 are set. Host bits 0 give 255.255.255.255; 32 and
// more (a byte may say up to 255) give 0.0.0.0 instead of shifting a 32-bit value by 32 or more.
Ipv4 MaskFromHostBits(int host_bits);
// The 0 bits of a mask from its least significant bit up to the first 1 bit: 255.255.254.0
// gives 9, 0.0.0.0 gives 32.
int HostBitsFromMask(const Ipv4 &mask);

// The new-address argument of a configuration change.
struct AddressSpec {
  Ipv4 address{};     // 0.0.0.0: DHCP
  uint16_t port = 0;  // 0: leave unchanged
  std::string name;   // empty: leave unchanged
};
// "[name]" or "[name]-port": DHCP with that device name; "a.b.c.d" or "a.b.c.d-port": a fixed
// address. A text of neither kind (no "[" first and fewer than three dots) is DHCP without port
// and name. Nothing for a text that looks like an address or carries a port but does not parse
// (a number above 255 or 65535, letters), so that a typing error never turns into a setting.
std::optional<AddressSpec> ParseAddressSpec(std::string_view text);

// Puts `entry` into the ascending list unless an equal entry is there already.
void InsertSorted(std::vector<std::string> &list, const std::string &entry);

}  // namespace kovra::lan
