// The DESFire card's cryptography, computed with OpenSSL's libcrypto and nothing of the product's
// cipher code, so that a fault there cannot hide behind the same fault here.
#include "sim/desfire/desfire_crypto.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace kovra_sim {
namespace {

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// The OpenSSL cipher and the key bytes it wants for this kind and key.
const EVP_CIPHER *CipherFor(CipherKind kind, const Bytes &key, Bytes &openssl_key) {
  if (kind == CipherKind::kAes) {
    if (key.size() != 16) throw std::logic_error("AES key must be 16 bytes");
    openssl_key = key;
    return EVP_aes_128_cbc();
  }
  switch (key.size()) {
    case 8:  // single DES as two-key triple DES with K|K
      openssl_key = key;
      openssl_key.insert(openssl_key.end(), key.begin(), key.end());
      return EVP_des_ede_cbc();
    case 16:
      openssl_key = key;
      return EVP_des_ede_cbc();
    case 24:
      openssl_key = key;
      return EVP_des_ede3_cbc();
    default:
      throw std::logic_error("DES key must be 8, 16 or 24 bytes");
  }
}

Bytes Cbc(CipherKind kind, const Bytes &key, Bytes &iv, const Bytes &data, bool encipher) {
  const size_t block = BlockSize(kind);
  if (data.size() % block != 0) throw std::logic_error("CBC data is not whole blocks");
  if (iv.size() != block) throw std::logic_error("IV is not one block");
  if (data.empty()) return {};
  Bytes openssl_key;
  const EVP_CIPHER *cipher = CipherFor(kind, key, openssl_key);
  CipherContext context(EVP_CIPHER_CTX_new());
  if (!context || EVP_CipherInit_ex(context.get(), cipher, nullptr, openssl_key.data(), iv.data(),
                                    encipher ? 1 : 0) != 1) {
    throw std::logic_error("cipher set-up failed");
  }
  EVP_CIPHER_CTX_set_padding(context.get(), 0);
  Bytes out(data.size());
  int written = 0;
  if (EVP_CipherUpdate(context.get(), out.data(), &written, data.data(),
                       static_cast<int>(data.size())) != 1 ||
      static_cast<size_t>(written) != data.size()) {
    throw std::logic_error("cipher failed");
  }
  int tail = 0;
  if (EVP_CipherFinal_ex(context.get(), out.data() + written, &tail) != 1 || tail != 0) {
    throw std::logic_error("cipher final failed");
  }
  const Bytes &chained = encipher ? out : data;
  iv.assign(chained.end() - static_cast<std::ptrdiff_t>(block), chained.end());
  return out;
}

Bytes ShiftLeftOneBit(const Bytes &in, uint8_t rb) {
  Bytes out(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const uint8_t carry = i + 1 < in.size() ? static_cast<uint8_t>(in[i + 1] >> 7) : 0;
    out[i] = static_cast<uint8_t>((in[i] << 1) | carry);
  }
  if (in[0] & 0x80) out.back() ^= rb;
  return out;
}

}  // namespace

size_t BlockSize(CipherKind kind) {
  return kind == CipherKind::kAes ? 16 : 8;
}

Bytes CbcEncipher(CipherKind kind, const Bytes &key, Bytes &iv, const Bytes &data) {
  return Cbc(kind, key, iv, data, true);
}

Bytes CbcDecipher(CipherKind kind, const Bytes &key, Bytes &iv, const Bytes &data) {
  return Cbc(kind, key, iv, data, false);
}

CmacSubkeys DeriveCmacSubkeys(CipherKind kind, const Bytes &key) {
  const size_t block = BlockSize(kind);
  const uint8_t rb = block == 16 ? 0x87 : 0x1B;
  Bytes iv(block, 0);
  const Bytes l = CbcEncipher(kind, key, iv, Bytes(block, 0));
  CmacSubkeys subkeys;
  subkeys.k1 = ShiftLeftOneBit(l, rb);
  subkeys.k2 = ShiftLeftOneBit(subkeys.k1, rb);
  return subkeys;
}

Bytes Cmac(CipherKind kind, const Bytes &key, const CmacSubkeys &subkeys, Bytes &iv,
           const Bytes &data) {
  const size_t block = BlockSize(kind);
  Bytes padded = data;
  const bool complete = !data.empty() && data.size() % block == 0;
  if (!complete) {
    padded.push_back(0x80);
    while (padded.size() % block != 0) padded.push_back(0x00);
  }
  const Bytes &subkey = complete ? subkeys.k1 : subkeys.k2;
  const size_t last = padded.size() - block;
  for (size_t i = 0; i < block; ++i) padded[last + i] ^= subkey[i];
  CbcEncipher(kind, key, iv, padded);
  return iv;
}

uint32_t DesfireCrc32(const uint8_t *bytes, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
  }
  return crc;
}

Bytes Crc32Bytes(uint32_t crc) {
  return {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8),
          static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 24)};
}

}  // namespace kovra_sim
