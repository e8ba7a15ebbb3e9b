// The CRC32 that protects enciphered DESFire data: CRC-32 of IEEE 802.3 (reflected polynomial
// 0xEDB88320, initial value 0xFFFFFFFF) WITHOUT the final inversion. It travels least
// significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader/byte_array.h"

namespace kovra::desfire {

// The CRC of count bytes; 0xFFFFFFFF for none.
uint32_t Crc32(const uint8_t *bytes, size_t count);
// The CRC of the first count bytes of the array; 0 when it holds fewer.
uint32_t Crc32OfArray(const CMyByteArray &bytes, size_t count);
// Appends a CRC least significant byte first.
void AppendCrc32(CMyByteArray &bytes, uint32_t crc);

}  // namespace kovra::desfire
