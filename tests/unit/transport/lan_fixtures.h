// Records of network readers as tests need them: a setup record with the fields the library
// reads, and the identify and product records.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "transport/lan_config/lan_datagram.h"

namespace kovra_test {

struct ReaderSettings {
  kovra::lan::Ipv4 address{};  // 0.0.0.0: DHCP
  int host_bits = 8;
  kovra::lan::Ipv4 gateway{};
  uint16_t tcp_port = 10001;
  std::string name;  // up to 16 characters: 1 .. 8 go to byte 112, 9 .. 16 to byte 84
};

inline void PutText(kovra::lan::Bytes &record, size_t at, const std::string &text, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    record[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
  }
}

inline kovra::lan::Bytes SetupRecord(const ReaderSettings &settings, size_t size = 120) {
  kovra::lan::Bytes record(size, 0xA5);  // bytes the library must hand back as they were
  std::copy(settings.address.begin(), settings.address.end(), record.begin());
  record[6] = static_cast<uint8_t>(settings.host_bits);
  std::copy(settings.gateway.begin(), settings.gateway.end(), record.begin() + 12);
  record[20] = static_cast<uint8_t>(settings.tcp_port & 0xFF);
  record[21] = static_cast<uint8_t>(settings.tcp_port >> 8);
  const std::string head = settings.name.substr(0, std::min<size_t>(8, settings.name.size()));
  const std::string tail = settings.name.size() > 8 ? settings.name.substr(8, 8) : "";
  PutText(record, 112, head, 8);
  PutText(record, 84, tail, 8);
  return record;
}

// Record 2 with a product name from byte 93.
inline kovra::lan::Bytes ProductRecord(const std::string &product, size_t size = 126) {
  kovra::lan::Bytes record(size, 0);
  PutText(record, 93, product, std::min(product.size() + 1, size - 93));
  return record;
}

// An identify reply; `extended` puts "ULO" at bytes 11 .. 13.
inline kovra::lan::Bytes IdentifyReply(bool extended, uint8_t id_seed = 0x10) {
  kovra::lan::Bytes reply(26, 0);
  if (extended) PutText(reply, 11, "ULO", 3);
  for (size_t i = 0; i < 6; ++i) reply[20 + i] = static_cast<uint8_t>(id_seed + i);
  return reply;
}

}  // namespace kovra_test
