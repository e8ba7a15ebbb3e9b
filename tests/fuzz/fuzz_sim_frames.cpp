// What a host sends to the simulated reader over its pseudo-terminal: any bytes, noise and well
// framed commands mixed, in any family; behind the frames the DESFire card in the field takes
// the native commands inside exchanges. The frame decoder, the firmware and the card must never
// crash, hang or read out of bounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "sim/desfire/desfire_card.h"
#include "sim/frame_codec.h"
#include "sim/reader.h"

// The first byte: bits 0-1 the family, bit 2 the card activated first (field on, request,
// select, RATS). Then records: a byte with bit 7 set is followed by (byte & 0x7F) bytes that go
// to the reader as they are; any other byte is a command code, followed by a length byte and that
// many data bytes, sent as a correct frame of the family.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const int family = data[0] & 3;
  kovra_sim::SimReaderConfig config;
  config.family = family;
  config.uid_seed = 1;
  kovra_sim::SimReader reader(config);
  reader.PlaceCard(std::make_shared<kovra_sim::DesfireCard>(
      kovra_sim::Bytes{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
  const uint64_t connection = reader.Connect([](const uint8_t *, size_t) {});

  const auto send = [&](uint8_t command, const kovra_sim::Bytes &body) {
    reader.Receive(kovra_sim::EncodeCommand(family, config.address, command, body));
  };
  if (data[0] & 4) {
    send(0xF5, {0x01});
    send(0x30, {});
    send(0x31, {});
    send(0x41, {});
  }

  size_t pos = 1;
  while (pos < size) {
    const uint8_t tag = data[pos++];
    if (tag & 0x80) {
      const size_t count = std::min<size_t>(tag & 0x7F, size - pos);
      reader.Receive(data + pos, count);
      pos += count;
    } else {
      if (pos >= size) break;
      const size_t announced = data[pos++];
      const size_t length = std::min(announced, size - pos);
      send(tag, kovra_sim::Bytes(data + pos, data + pos + length));
      pos += length;
    }
  }
  reader.Disconnect(connection);
  return 0;
}
