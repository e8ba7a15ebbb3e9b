// Bytes from a Bluetooth module: any stream, fed in pieces whose sizes the first byte picks. Every
// packet that comes out must check out (type from the module, payload within the buffer), the
// buffer never holds more than its size, and the reader always makes progress: a stream that
// ends leaves no packet behind that a further Next() would find.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transport/bluetooth/bt_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const size_t piece = 1 + data[0] % 64;
  kovra::BtPacketReader reader;
  for (size_t at = 1; at < size;) {
    const size_t n = std::min(piece, size - at);
    at += reader.Append(data + at, n);
    while (auto packet = reader.Next()) {
      if (packet->type != 'C' && packet->type != 'i') std::abort();
      if (packet->payload.size() > kovra::BtPacketReader::kBufferSize) std::abort();
    }
    if (reader.Buffered() > kovra::BtPacketReader::kBufferSize) std::abort();
    if (reader.Room() == 0) std::abort();  // a full buffer that yields no packet is stuck
  }
  return 0;
}
