// What the configuration records of a network reader say, and the texts made from them.
#include "transport/lan_config/lan_record.h"

#include <algorithm>
#include <cctype>

namespace kovra::lan {
namespace {

bool IsSetupRecord(const Bytes &record) {
  return record.size() >= kRecordReplySize;
}

Ipv4 AddressAt(const Bytes &record, size_t at) {
  if (!IsSetupRecord(record)) return kAnyAddress;
  return {record[at], record[at + 1], record[at + 2], record[at + 3]};
}

// Up to `count` characters from `at`, stopping at a NUL.
std::string TextAt(const Bytes &record, size_t at, size_t count) {
  std::string text;
  for (size_t i = at; i < at + count && i < record.size() && record[i] != 0; ++i) {
    text.push_back(static_cast<char>(record[i]));
  }
  return text;
}

// A decimal number of 1 .. 5 digits not above `max`; nothing otherwise.
std::optional<unsigned> ParseNumber(std::string_view text, unsigned max) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > max) return std::nullopt;
  return value;
}

std::optional<uint16_t> ParsePort(std::string_view text) {
  const auto port = ParseNumber(text, 0xFFFF);
  if (!port) return std::nullopt;
  return static_cast<uint16_t>(*port);
}

}  // namespace

std::string Dotted(const Ipv4 &address) {
  return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
         std::to_string(address[2]) + "." + std::to_string(address[3]);
}

std::optional<Ipv4> ParseDotted(std::string_view text) {
  Ipv4 address{};
  for (size_t i = 0; i < address.size(); ++i) {
    const size_t dot = i + 1 < address.size() ? text.find('.') : text.size();
    if (dot == std::string_view::npos) return std::nullopt;
    const auto octet = ParseNumber(text.substr(0, dot), 255);
    if (!octet) return std::nullopt;
    address[i] = static_cast<uint8_t>(*octet);
    text.remove_prefix(std::min(text.size(), dot + 1));
  }
  return address;
}

Ipv4 ConfiguredAddress(const Bytes &record) {
  return AddressAt(record, at::kAddress);
}

int HostBits(const Bytes &record) {
  return IsSetupRecord(record) ? record[at::kHostBits] : 0;
}

Ipv4 Gateway(const Bytes &record) {
  return AddressAt(record, at::kGateway);
}

uint16_t TcpPort(const Bytes &record) {
  if (!IsSetupRecord(record)) return 0;
  return static_cast<uint16_t>(record[at::kTcpPort] | (record[at::kTcpPort + 1] << 8));
}

std::string DeviceName(const Bytes &record) {
  if (!IsSetupRecord(record)) return {};
  return TextAt(record, at::kNameHead, at::kNameHalf) +
         TextAt(record, at::kNameTail, at::kNameHalf);
}

std::string ReaderIdentity(const Bytes &record) {
  return "[" + DeviceName(record) + "]";
}

std::string SearchEntry(const Bytes &record, const Ipv4 &sender) {
  const std::string port = "-" + std::to_string(TcpPort(record));
  const Ipv4 configured = ConfiguredAddress(record);
  if (configured == sender) return Dotted(configured) + port;
  return ReaderIdentity(record) + Dotted(sender) + port;
}

std::string ProductName(const Bytes &record2) {
  if (record2.size() < kProductRecordSize) return {};
  return TextAt(record2, at::kProductName, record2.size() - at::kProductName);
}

bool IsMakersProduct(std::string_view product_name) {
  static constexpr std::string_view kPrefix = "KV-";
  if (product_name.size() < kPrefix.size()) return false;
  for (size_t i = 0; i < kPrefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(product_name[i])) != kPrefix[i]) return false;
  }
  return true;
}

Ipv4 MaskFromHostBits(int host_bits) {
  uint32_t mask = 0xFFFFFFFFu;
  if (host_bits >= 32) {
    mask = 0;
  } else if (host_bits > 0) {
    mask <<= host_bits;  // 1 .. 31: defined for a 32-bit unsigned value
  }
  return {static_cast<uint8_t>(mask >> 24), static_cast<uint8_t>(mask >> 16),
          static_cast<uint8_t>(mask >> 8), static_cast<uint8_t>(mask)};
}

int HostBitsFromMask(const Ipv4 &mask) {
  const uint32_t value = (uint32_t{mask[0]} << 24) | (uint32_t{mask[1]} << 16) |
                         (uint32_t{mask[2]} << 8) | uint32_t{mask[3]};
  int bits = 0;
  while (bits < 32 && (value & (uint32_t{1} << bits)) == 0) ++bits;
  return bits;
}

std::optional<AddressSpec> ParseAddressSpec(std::string_view text) {
  AddressSpec spec;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    spec.name = std::string(text.substr(1, close - 1));
    const size_t hyphen = text.find('-', close);
    if (hyphen != std::string_view::npos) {
      const auto port = ParsePort(text.substr(hyphen + 1));
      if (!port) return std::nullopt;
      spec.port = *port;
    }
    return spec;
  }
  if (std::count(text.begin(), text.end(), '.') < 3) return spec;  // neither form: DHCP
  const size_t hyphen = text.find('-');
  const auto address = ParseDotted(text.substr(0, hyphen));
  if (!address) return std::nullopt;
  spec.address = *address;
  if (hyphen != std::string_view::npos) {
    const auto port = ParsePort(text.substr(hyphen + 1));
    if (!port) return std::nullopt;
    spec.port = *port;
  }
  return spec;
}

void InsertSorted(std::vector<std::string> &list, const std::string &entry) {
  const auto at = std::lower_bound(list.begin(), list.end(), entry);
  if (at != list.end() && *at == entry) return;
  list.insert(at, entry);
}

}  // namespace kovra::lan
