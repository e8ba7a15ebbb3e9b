// The stored configuration of a network reader.
#include "sim/lan_records.h"

#include <algorithm>

namespace kovra_sim {
namespace {

constexpr size_t kAddressAt = 0;
constexpr size_t kHostBitsAt = 6;
constexpr size_t kGatewayAt = 12;
constexpr size_t kPortAt = 20;
constexpr size_t kNameTailAt = 84;   // characters 9..16
constexpr size_t kNameHeadAt = 112;  // characters 1..8
constexpr size_t kProductAt = 93;    // record 2
constexpr size_t kRecord3NameTailAt = 102;
constexpr size_t kHalf = kLanNameLength / 2;

// Up to `count` characters from `at`, stopping at a NUL.
std::string TextAt(const Bytes &record, size_t at, size_t count) {
  std::string text;
  for (size_t i = at; i < at + count && i < record.size() && record[i] != 0; ++i) {
    text += static_cast<char>(record[i]);
  }
  return text;
}

// `count` bytes at `at`: the text's characters, NUL-padded.
void PutText(Bytes &record, size_t at, size_t count, const std::string &text) {
  for (size_t i = 0; i < count; ++i) {
    record[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
  }
}

// A name as the reader keeps it: at most 16 characters, cut at a NUL.
std::string StoredName(const std::string &name) {
  return name.substr(0, std::min(name.find('\0'), kLanNameLength));
}

}  // namespace

LanRecords::LanRecords(const LanSettings &settings, const std::string &product) {
  for (size_t n = 0; n < kLanRecordCount; ++n) {
    records_[n].resize(kLanRecordSize);
    for (size_t i = 0; i < kLanRecordSize; ++i) {
      records_[n][i] = static_cast<uint8_t>(0x40 + n * 16 + i % 64);
    }
  }
  Apply(settings);
  const std::string stored = product.substr(0, std::min(product.find('\0'), kLanProductLength));
  PutText(records_[2], kProductAt, kLanRecordSize - kProductAt, stored);
}

void LanRecords::Write(size_t n, const uint8_t *bytes, size_t count) {
  Bytes &record = records_.at(n);
  std::copy(bytes, bytes + std::min(count, record.size()), record.begin());
}

LanSettings LanRecords::Settings() const {
  const Bytes &record = records_[0];
  LanSettings settings;
  std::copy_n(record.begin() + kAddressAt, 4, settings.address.begin());
  settings.host_bits = record[kHostBitsAt];
  std::copy_n(record.begin() + kGatewayAt, 4, settings.gateway.begin());
  settings.port = static_cast<uint16_t>(record[kPortAt] | record[kPortAt + 1] << 8);
  settings.name = TextAt(record, kNameHeadAt, kHalf) + TextAt(record, kNameTailAt, kHalf);
  return settings;
}

void LanRecords::Apply(const LanSettings &settings) {
  Bytes &record = records_[0];
  std::copy(settings.address.begin(), settings.address.end(), record.begin() + kAddressAt);
  record[kHostBitsAt] = settings.host_bits;
  std::copy(settings.gateway.begin(), settings.gateway.end(), record.begin() + kGatewayAt);
  record[kPortAt] = static_cast<uint8_t>(settings.port & 0xFF);
  record[kPortAt + 1] = static_cast<uint8_t>(settings.port >> 8);
  const std::string name = StoredName(settings.name);
  const std::string tail = name.size() > kHalf ? name.substr(kHalf) : std::string();
  PutText(record, kNameHeadAt, kHalf, name.substr(0, kHalf));
  PutText(record, kNameTailAt, kHalf, tail);
  PutText(records_[3], kRecord3NameTailAt, kHalf, tail);
}

std::string LanRecords::Product() const {
  return TextAt(records_[2], kProductAt, kLanRecordSize - kProductAt);
}

}  // namespace kovra_sim
