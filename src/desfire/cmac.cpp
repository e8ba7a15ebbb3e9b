// The CMAC (NIST SP 800-38B) of the DESFire EV1 secure channel, on a session's crypto context.
#include "desfire/cmac.h"

#include <cstring>
#include <vector>

namespace kovra::desfire {
namespace {

// Shifts a block left by one bit; XORs rb into the last byte when the top bit fell out.
void ShiftSubkey(const uint8_t *in, uint8_t *out, size_t block, uint8_t rb) {
  const bool carry = (in[0] & 0x80) != 0;
  for (size_t i = 0; i < block; ++i) {
    const uint8_t next = i + 1 < block ? in[i + 1] : 0;
    out[i] = static_cast<uint8_t>((in[i] << 1) | (next >> 7));
  }
  if (carry) out[block - 1] ^= rb;
}

}  // namespace

void GenerateCmacSubkeys(DF8Crypt &context) {
  const size_t block = context.BlockSize();
  const uint8_t rb = context.CipherType() == CipherAES ? 0x87 : 0x1B;
  uint8_t saved_iv[DF8Crypt::kIvSize];
  std::memcpy(saved_iv, context.IV(), sizeof saved_iv);
  context.ClearIV();
  uint8_t l[16] = {};
  context.Encipher(context.CipherType(), context.SessionKey(), l, l, block);
  ShiftSubkey(l, context.SubkeyK1(), block, rb);
  ShiftSubkey(context.SubkeyK1(), context.SubkeyK2(), block, rb);
  std::memcpy(context.IV(), saved_iv, sizeof saved_iv);
  SecureWipe(l, sizeof l);
}

bool ComputeCmac(DF8Crypt &context, bool status_last, const uint8_t *data, size_t length,
                 uint8_t *mac) {
  const uint8_t cipher = context.CipherType();
  if (cipher != CipherAES && cipher != CipherTDES) return false;
  const size_t block = context.BlockSize();
  std::vector<uint8_t> buffer(data, data + length);
  if (status_last && length > 1) {
    buffer.erase(buffer.begin());
    buffer.push_back(data[0]);
  }
  const uint8_t *subkey = context.SubkeyK1();
  if (buffer.empty() || buffer.size() % block != 0) {
    buffer.push_back(0x80);
    while (buffer.size() % block != 0) buffer.push_back(0x00);
    subkey = context.SubkeyK2();
  }
  uint8_t *last = buffer.data() + buffer.size() - block;
  for (size_t i = 0; i < block; ++i) last[i] ^= subkey[i];
  if (!context.Encipher(cipher, context.SessionKey(), buffer.data(), buffer.data(),
                        buffer.size())) {
    return false;
  }
  if (mac != nullptr) std::memcpy(mac, context.IV(), kMacLength);
  SecureWipe(buffer.data(), buffer.size());
  return true;
}

bool VerifyMac(DF8Crypt &context, const uint8_t *data, size_t length, const uint8_t *expected) {
  uint8_t mac[kMacLength];
  if (!ComputeCmac(context, true, data, length, mac)) return false;
  return std::memcmp(mac, expected, kMacLength) == 0;
}

bool VerifyTrailingMac(DF8Crypt &context, const uint8_t *response, size_t length) {
  if (length < 1 + kMacLength) return false;
  return VerifyMac(context, response, length - kMacLength, response + length - kMacLength);
}

}  // namespace kovra::desfire
