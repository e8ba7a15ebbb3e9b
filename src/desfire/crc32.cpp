// The CRC32 that protects enciphered DESFire data.
#include "desfire/crc32.h"

namespace kovra::desfire {

uint32_t Crc32(const uint8_t *bytes, size_t count) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

uint32_t Crc32OfArray(const CMyByteArray &bytes, size_t count) {
  if (bytes.GetSize() < count) return 0;
  return Crc32(bytes.GetData(), count);
}

void AppendCrc32(CMyByteArray &bytes, uint32_t crc) {
  for (int shift = 0; shift < 32; shift += 8) bytes.Add(static_cast<uint8_t>(crc >> shift));
}

}  // namespace kovra::desfire
