// The stored configuration of a network reader: sixteen records of kLanRecordSize bytes that its
// configuration service reads and writes (lan_datagram.h). Record 0, the setup record, holds the
// network settings at fixed places:
//
//   bytes 0..3      configured IPv4 address (0.0.0.0: the reader takes its address by DHCP)
//   byte  6         host bits of the subnet mask (32 minus the prefix length)
//   bytes 12..15    gateway
//   bytes 20..21    TCP port of the reader protocol, low byte first
//   bytes 84..91    characters 9..16 of the device name, NUL-padded
//   bytes 112..119  characters 1..8 of the device name, NUL-padded
//
// Record 2 holds the NUL-terminated product name from byte 93; record 3 repeats characters 9..16
// of the device name in bytes 102..109. Every other byte is filler that a host must hand back as
// it read it; it is not zero, so a host that loses it is seen.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/frame_codec.h"
#include "sim/ipv4.h"

namespace kovra_sim {

using DeviceId = std::array<uint8_t, 6>;

constexpr size_t kLanRecordSize = 126;
constexpr size_t kLanRecordCount = 16;
constexpr size_t kLanNameLength = 16;
constexpr size_t kLanProductLength = kLanRecordSize - 93 - 1;  // the product name and its NUL
constexpr uint16_t kLanReaderPort = 10001;

// The network settings of a setup record.
struct LanSettings {
  Ipv4 address{};         // 0.0.0.0: DHCP
  uint8_t host_bits = 8;  // 255.255.255.0
  Ipv4 gateway{};
  uint16_t port = kLanReaderPort;
  std::string name;  // the device name, at most kLanNameLength characters, no NUL

  bool Dhcp() const { return address == Ipv4{}; }
  bool operator==(const LanSettings &) const = default;
};

class LanRecords {
 public:
  // Records holding `settings` (a longer name is cut) and `product` in record 2 (cut likewise).
  LanRecords(const LanSettings &settings, const std::string &product);

  // Record n (n < kLanRecordCount), always kLanRecordSize bytes.
  const Bytes &Record(size_t n) const { return records_.at(n); }
  // Overwrites record n from its first byte with at most kLanRecordSize bytes; the record keeps
  // its size.
  void Write(size_t n, const uint8_t *bytes, size_t count);

  // The settings record 0 holds now.
  LanSettings Settings() const;
  // Stores the settings in record 0, and the name's characters 9..16 in record 3 as well.
  void Apply(const LanSettings &settings);
  // The product name of record 2.
  std::string Product() const;

 private:
  std::array<Bytes, kLanRecordCount> records_;
};

}  // namespace kovra_sim
