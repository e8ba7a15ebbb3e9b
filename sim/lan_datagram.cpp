// What a network reader's configuration service makes of one datagram that reached its UDP port
// (kLanConfigPort).
#include "sim/lan_datagram.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace kovra_sim {
namespace {

constexpr size_t kHeader = 4;
constexpr uint8_t kIdentify = 0xF6;
constexpr uint8_t kReadSetup = 0xF8;
constexpr uint8_t kWriteSetup = 0xFD;
constexpr uint8_t kAssign = 0xFC;
constexpr uint8_t kEnd = 0x03;
constexpr uint8_t kReadFirst = 0xE1;   // record 1; E0 + n
constexpr uint8_t kWriteFirst = 0xC1;  // record 1; C0 + n
constexpr size_t kIdentifyPayload = 30;
constexpr size_t kSimplePayload = 6;
constexpr size_t kExtendedPayload = 36;
constexpr char kAssignMark[] = "IP-SETUP";
constexpr size_t kAssignMarkLength = sizeof(kAssignMark) - 1;
constexpr size_t kAssignPayloadAt = kHeader + kAssignMarkLength + 2;

Bytes Answer(uint8_t code, const Bytes &payload = {}) {
  Bytes reply(kHeader + payload.size(), 0);
  reply[3] = code;
  std::copy(payload.begin(), payload.end(), reply.begin() + kHeader);
  return reply;
}

Bytes IdentifyPayload(const LanIdentity &identity) {
  Bytes payload(kIdentifyPayload, 0);
  if (identity.extended) std::memcpy(payload.data() + 11, "ULO", 3);
  std::copy(identity.id.begin(), identity.id.end(), payload.begin() + 20);
  return payload;
}

Ipv4 AddressAt(const uint8_t *bytes) {
  return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

// The settings an assignment makes of the current ones; nothing when it is not for this reader.
std::optional<LanSettings> Assigned(const LanSettings &current, const LanIdentity &identity,
                                    const uint8_t *data, size_t size) {
  if (size < kAssignPayloadAt || std::memcmp(data + kHeader, kAssignMark, kAssignMarkLength) != 0) {
    return std::nullopt;
  }
  const uint8_t *mark = data + kHeader + kAssignMarkLength;
  const uint8_t *payload = data + kAssignPayloadAt;
  const size_t length = size - kAssignPayloadAt;
  LanSettings next = current;
  if (mark[0] == 0 && mark[1] == 0) {
    if (length < kSimplePayload || payload[0] != identity.id[4] || payload[1] != identity.id[5]) {
      return std::nullopt;
    }
    next.address = AddressAt(payload + 2);
  } else if (mark[0] == 'E' && mark[1] == 'X') {
    if (!identity.extended || length < kExtendedPayload ||
        !std::equal(identity.id.begin(), identity.id.end(), payload)) {
      return std::nullopt;
    }
    next.address = AddressAt(payload + 6);
    const uint16_t port = static_cast<uint16_t>(payload[10] | payload[11] << 8);
    if (port != 0) next.port = port;
    const Ipv4 mask = AddressAt(payload + 12);
    if (mask != Ipv4{}) next.host_bits = HostBitsOfMask(mask);
    next.gateway = AddressAt(payload + 16);
    const char *name = reinterpret_cast<const char *>(payload + 20);
    const std::string text(name, strnlen(name, kLanNameLength));
    if (!text.empty()) next.name = text;
  } else {
    return std::nullopt;
  }
  if (!UsableReaderAddress(next.address)) return std::nullopt;
  return next;
}

}  // namespace

bool UsableReaderAddress(const Ipv4 &address) {
  if (address == Ipv4{}) return true;
  return address[0] != 0 && address[0] != 127 && address[0] < 224;
}

LanAnswer AnswerLanDatagram(LanRecords &records, const LanIdentity &identity, const uint8_t *data,
                            size_t size) {
  LanAnswer answer;
  if (size < kHeader) return answer;
  const uint8_t code = data[3];
  const uint8_t *payload = data + kHeader;
  const size_t length = size - kHeader;
  if (code == kIdentify) {
    answer.reply = Answer(0xF7, IdentifyPayload(identity));
  } else if (code == kReadSetup) {
    answer.reply = Answer(0xF9, records.Record(0));
  } else if (code >= kReadFirst && code <= kReadFirst + 14) {
    const size_t n = code - 0xE0u;
    answer.reply = Answer(static_cast<uint8_t>(0xD0 + n), records.Record(n));
  } else if (code == kWriteSetup || (code >= kWriteFirst && code <= kWriteFirst + 14)) {
    if (length < kLanMinRecordWrite) return answer;
    const size_t n = code == kWriteSetup ? 0 : code - 0xC0u;
    records.Write(n, payload, length);
    answer.reply = Answer(n == 0 ? 0xFB : static_cast<uint8_t>(0xB0 + n));
  } else if (code == kAssign) {
    const LanSettings current = records.Settings();
    const std::optional<LanSettings> next = Assigned(current, identity, data, size);
    if (next && *next != current) {
      records.Apply(*next);
      answer.settings_changed = true;
    }
  } else if (code == kEnd) {
    answer.end_of_configuration = length >= 2 && payload[0] == 'X' && payload[1] == '3';
  }
  return answer;
}

}  // namespace kovra_sim
