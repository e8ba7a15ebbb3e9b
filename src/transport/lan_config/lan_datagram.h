// The datagrams of the network readers' configuration service (UDP port 30718): building the
// requests and taking replies apart. Pure functions; the socket side is lan_config_socket.h.
//
// Every datagram starts with a 4-byte header whose last byte is the request or reply code; the
// payload is what follows the header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kovra::lan {

using Bytes = std::vector<uint8_t>;
using Ipv4 = std::array<uint8_t, 4>;  // in the order of the dotted form

constexpr uint16_t kConfigPort = 30718;
constexpr uint16_t kDefaultTcpPort = 10001;
constexpr size_t kHeaderSize = 4;
constexpr int kLastRecord = 15;

// Shortest payloads of the replies the library uses.
constexpr size_t kIdentifyReplySize = 26;
constexpr size_t kRecordReplySize = 120;
constexpr size_t kProductRecordSize = 126;  // record 2 carries the product name from byte 93
constexpr size_t kNameRecordSize = 126;     // record 3 must have exactly this size to be patched

constexpr uint8_t kIdentifyReply = 0xF7;
constexpr uint8_t kSetupRecordReply = 0xF9;  // also the search reply

// A datagram taken apart: its code (header byte 3) and its payload.
struct Datagram {
  uint8_t code = 0;
  Bytes payload;
};

// Splits a received datagram. Nothing for one shorter than its header: it carries no code and is
// no reply to anything.
std::optional<Datagram> ParseDatagram(const uint8_t *bytes, size_t count);

// 00 01 00 F6: asks every reader on the network for its identify reply.
Bytes IdentifyRequest();
// 00 01 00 F8 for record 0 (also the search request), 00 01 00 (n - 0x20) for records 1 .. 15.
// Only for 0 <= n <= 15.
Bytes ReadRecordRequest(int n);
// F9 for record 0, (n - 0x30) for records 1 .. 15.
uint8_t ReadRecordReplyCode(int n);
// 00 00 00 FD + record for record 0, 00 01 00 (n - 0x40) + record for records 1 .. 15.
Bytes WriteRecordRequest(int n, const Bytes &record);
// FB for record 0, (n - 0x50) for records 1 .. 15.
uint8_t WriteRecordReplyCode(int n);
// 00 00 00 03 'X' '3': the reader may leave its configuration mode.
Bytes EndOfConfiguration();

// Address assignment, simple form: 00 00 00 FC "IP-SETUP" 00 00, bytes 4 and 5 of the reader's
// device identifier, the new address.
Bytes SimpleAddressAssignment(const std::array<uint8_t, 2> &identifier_tail, const Ipv4 &address);

// The settings of an extended address assignment.
struct ExtendedAssignment {
  std::array<uint8_t, 6> identifier{};
  Ipv4 address{};
  uint16_t tcp_port = 0;
  Ipv4 mask{};
  Ipv4 gateway{};
  std::array<uint8_t, 16> name{};  // NUL-padded
};
// Address assignment, extended form: 00 00 00 FC "IP-SETUP" "EX" and 36 bytes of settings (the
// TCP port low byte first).
Bytes ExtendedAddressAssignment(const ExtendedAssignment &settings);

}  // namespace kovra::lan
