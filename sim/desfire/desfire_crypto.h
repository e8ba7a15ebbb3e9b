// The DESFire card's cryptography, computed with OpenSSL's libcrypto and nothing of the product's
// cipher code, so that a fault there cannot hide behind the same fault here.
//
//   cipher      key bytes   block   OpenSSL cipher
//   kTdes       8           8       DES-EDE-CBC with K|K (one key: single DES)
//               16          8       DES-EDE-CBC, K1|K2|K1 (equal halves: single DES)
//               24          8       DES-EDE3-CBC
//   kAes        16          16      AES-128-CBC
//
// Single DES always runs as triple DES with equal keys, which OpenSSL 3 serves from its default
// provider (plain DES lives in the legacy one). Every function takes whole blocks and pads
// nothing; a length or key size the cipher cannot take is a programming error and throws
// std::logic_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kovra_sim {

using Bytes = std::vector<uint8_t>;

enum class CipherKind { kTdes, kAes };

// 8 for kTdes, 16 for kAes.
size_t BlockSize(CipherKind kind);

// CBC over `data` (a multiple of the block size) starting from `iv`; `iv` becomes the last
// ciphertext block (the one that went out when enciphering, the one that came in when
// deciphering), which is how the card keeps one chain through a whole session.
Bytes CbcEncipher(CipherKind kind, const Bytes &key, Bytes &iv, const Bytes &data);
Bytes CbcDecipher(CipherKind kind, const Bytes &key, Bytes &iv, const Bytes &data);

// The CMAC subkeys of NIST SP 800-38B: L = E(K, 0); K1 = L << 1 (XOR Rb when the top bit was
// set), K2 = K1 << 1 likewise; Rb = 0x87 for 16-byte blocks, 0x1B for 8-byte blocks.
struct CmacSubkeys {
  Bytes k1;
  Bytes k2;
};
CmacSubkeys DeriveCmacSubkeys(CipherKind kind, const Bytes &key);

// The CMAC of `data` chained on from `iv` (zero for the plain SP 800-38B value): the last block
// is padded with 80 00.. and XORed with K2, or XORed with K1 when it is complete (an empty input
// counts as one padded block). Returns the whole last cipher block, which also becomes `iv`.
Bytes Cmac(CipherKind kind, const Bytes &key, const CmacSubkeys &subkeys, Bytes &iv,
           const Bytes &data);

// The DESFire CRC32: reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF, no final
// inversion (the empty input gives 0xFFFFFFFF). It travels least significant byte first.
uint32_t DesfireCrc32(const uint8_t *bytes, size_t count);
inline uint32_t DesfireCrc32(const Bytes &bytes) {
  return DesfireCrc32(bytes.data(), bytes.size());
}
// The four CRC bytes as they travel.
Bytes Crc32Bytes(uint32_t crc);

}  // namespace kovra_sim
