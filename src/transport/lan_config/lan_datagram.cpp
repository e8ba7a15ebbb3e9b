// The datagrams of the network readers' configuration service (UDP port 30718).
#include "transport/lan_config/lan_datagram.h"

#include <cstring>

namespace kovra::lan {
namespace {

constexpr char kIpSetup[] = "IP-SETUP";

// Room for the largest datagram built here (a setup record written back, or an assignment), so
// that appending never moves the header. It also keeps GCC 12 at -O3 from reading the appends to
// a 4-byte vector as out-of-bounds copies.
constexpr size_t kDatagramRoom = 512;

Bytes Header(uint8_t second, uint8_t code) {
  Bytes datagram;
  datagram.reserve(kDatagramRoom);
  datagram.push_back(0x00);
  datagram.push_back(second);
  datagram.push_back(0x00);
  datagram.push_back(code);
  return datagram;
}

Bytes RequestHeader(uint8_t code) {
  return Header(0x01, code);
}

Bytes CommandHeader(uint8_t code) {
  return Header(0x00, code);
}

Bytes AssignmentHeader(uint8_t mark0, uint8_t mark1) {
  Bytes datagram = CommandHeader(0xFC);
  for (const char *c = kIpSetup; *c != '\0'; ++c) datagram.push_back(static_cast<uint8_t>(*c));
  datagram.push_back(mark0);
  datagram.push_back(mark1);
  return datagram;
}

void Append(Bytes &to, const uint8_t *bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) to.push_back(bytes[i]);
}

// The codes of records 1 .. 15 count down from a base, modulo 256.
uint8_t RecordCode(int base, int n) {
  return static_cast<uint8_t>((n + 0x100 - base) & 0xFF);
}

}  // namespace

std::optional<Datagram> ParseDatagram(const uint8_t *bytes, size_t count) {
  if (bytes == nullptr || count < kHeaderSize) return std::nullopt;
  return Datagram{bytes[3], Bytes(bytes + kHeaderSize, bytes + count)};
}

Bytes IdentifyRequest() {
  return RequestHeader(0xF6);
}

Bytes ReadRecordRequest(int n) {
  return RequestHeader(n == 0 ? 0xF8 : RecordCode(0x20, n));
}

uint8_t ReadRecordReplyCode(int n) {
  return n == 0 ? kSetupRecordReply : RecordCode(0x30, n);
}

Bytes WriteRecordRequest(int n, const Bytes &record) {
  Bytes datagram = n == 0 ? CommandHeader(0xFD) : RequestHeader(RecordCode(0x40, n));
  Append(datagram, record.data(), record.size());
  return datagram;
}

uint8_t WriteRecordReplyCode(int n) {
  return n == 0 ? 0xFB : RecordCode(0x50, n);
}

Bytes EndOfConfiguration() {
  Bytes datagram = CommandHeader(0x03);
  datagram.push_back('X');
  datagram.push_back('3');
  return datagram;
}

Bytes SimpleAddressAssignment(const std::array<uint8_t, 2> &identifier_tail, const Ipv4 &address) {
  Bytes datagram = AssignmentHeader(0x00, 0x00);
  Append(datagram, identifier_tail.data(), identifier_tail.size());
  Append(datagram, address.data(), address.size());
  return datagram;
}

Bytes ExtendedAddressAssignment(const ExtendedAssignment &settings) {
  Bytes datagram = AssignmentHeader('E', 'X');
  Append(datagram, settings.identifier.data(), settings.identifier.size());
  Append(datagram, settings.address.data(), settings.address.size());
  datagram.push_back(static_cast<uint8_t>(settings.tcp_port & 0xFF));
  datagram.push_back(static_cast<uint8_t>(settings.tcp_port >> 8));
  Append(datagram, settings.mask.data(), settings.mask.size());
  Append(datagram, settings.gateway.data(), settings.gateway.size());
  Append(datagram, settings.name.data(), settings.name.size());
  return datagram;
}

}  // namespace kovra::lan
