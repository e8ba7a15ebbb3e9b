// Datagrams on a simulated network reader's configuration port: anyone on the network may send
// any bytes there. A run is a sequence of datagrams against one reader, so that writes and
// address assignments meet the reads and assignments after them. Every answer must be one of the
// service's answers with its exact size, the records must keep their size, and the settings the
// reader would move to must be an address it may take with a name of at most 16 characters.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sim/lan_datagram.h"
#include "sim/lan_records.h"

namespace {

// The size an answer with this code must have; 0 for a code the service never sends.
size_t AnswerSize(uint8_t code) {
  if (code == 0xF7) return 4 + 30;
  if (code == 0xF9 || (code >= 0xD1 && code <= 0xDF)) return 4 + kovra_sim::kLanRecordSize;
  if (code == 0xFB || (code >= 0xB1 && code <= 0xBF)) return 4;
  return 0;
}

}  // namespace

// Each datagram is a length byte followed by that many bytes (fewer at the end of the input).
// The first byte's bit 0 decides whether the reader takes the extended assignment.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  kovra_sim::LanSettings settings;
  settings.address = {10, 231, 0, 2};
  settings.name = "NORTHGATE1";
  kovra_sim::LanRecords records(settings, "KV-LAN Reader");
  kovra_sim::LanIdentity identity;
  identity.id = {0x02, 0x4B, 0x56, 0x00, 0x00, 0x01};
  identity.extended = (data[0] & 1) != 0;

  size_t at = 1;
  while (at < size) {
    const size_t length = std::min<size_t>(data[at], size - at - 1);
    const uint8_t *datagram = data + at + 1;
    at += 1 + length;
    const kovra_sim::LanAnswer answer =
        kovra_sim::AnswerLanDatagram(records, identity, datagram, length);
    if (!answer.reply.empty()) {
      if (answer.reply.size() != AnswerSize(answer.reply[3])) std::abort();
      if (answer.reply[0] != 0 || answer.reply[1] != 0 || answer.reply[2] != 0) std::abort();
    }
    for (size_t n = 0; n < kovra_sim::kLanRecordCount; ++n) {
      if (records.Record(n).size() != kovra_sim::kLanRecordSize) std::abort();
    }
    const kovra_sim::LanSettings now = records.Settings();
    if (now.name.size() > kovra_sim::kLanNameLength) std::abort();
    if (answer.settings_changed && !kovra_sim::UsableReaderAddress(now.address)) std::abort();
  }
  return 0;
}
