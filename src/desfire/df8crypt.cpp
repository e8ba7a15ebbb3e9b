#include "desfire/df8crypt.h"

#include <cstring>
#include <limits>
#include <vector>

#include "desfire/des.h"
#include "desfire/rijdael.h"

namespace kovra::desfire {
namespace {

constexpr size_t kDesBlock = 8;

bool IsKnownCipher(uint8_t cipherType) {
  return cipherType == CipherTDES || cipherType == CipherAES;
}

void XorInto(uint8_t *target, const uint8_t *with, size_t count) {
  for (size_t i = 0; i < count; ++i) target[i] ^= with[i];
}

}  // namespace

void SecureWipe(void *data, size_t size) {
  // Stores through a volatile pointer are observable behaviour, so they survive optimisation even
  // when the memory is never read again.
  volatile auto *bytes = static_cast<volatile uint8_t *>(data);
  for (size_t i = 0; i < size; ++i) bytes[i] = 0;
}

DF8Crypt::DF8Crypt() = default;

DF8Crypt::~DF8Crypt() {
  Init(CipherNone);
}

void DF8Crypt::Init(uint8_t cipherType) {
  SecureWipe(iv_.data(), iv_.size());
  SecureWipe(sessionKey_.data(), sessionKey_.size());
  SecureWipe(subkeyK1_.data(), subkeyK1_.size());
  SecureWipe(subkeyK2_.data(), subkeyK2_.size());
  SecureWipe(schedule_.data(), sizeof(schedule_));
  cipherType_ = cipherType;
}

void DF8Crypt::ClearIV() {
  SecureWipe(iv_.data(), iv_.size());
}

bool DF8Crypt::Encipher(uint8_t cipherType, const uint8_t *key, const uint8_t *input,
                        uint8_t *output, size_t length, size_t *outLength) {
  if (!IsKnownCipher(cipherType) || key == nullptr || input == nullptr || output == nullptr) {
    return false;
  }
  const size_t block = BlockSizeOf(cipherType);
  if (length > std::numeric_limits<size_t>::max() - block) return false;
  const size_t padded = (length + block - 1) / block * block;
  if (padded != 0) {
    // Working on a zero-padded copy lets input and output be the same (or overlapping) buffers.
    std::vector<uint8_t> scratch(padded, 0);
    std::memcpy(scratch.data(), input, length);
    if (cipherType == CipherAES) {
      rijdael aes(*this);
      aes.SetKey(key);
      aes.EncryptCBC(scratch.data(), padded);
    } else {
      EncipherTdes(key, scratch.data(), padded);
    }
    std::memcpy(output, scratch.data(), padded);
    // The scratch copy may hold secrets on their way to the card (a new key for ChangeKey).
    SecureWipe(scratch.data(), scratch.size());
    SecureWipe(schedule_.data(), sizeof(schedule_));
  }
  if (outLength != nullptr) *outLength = padded;
  return true;
}

bool DF8Crypt::Decipher(const uint8_t *key, const uint8_t *input, uint8_t *output, size_t length) {
  if (!IsKnownCipher(cipherType_) || key == nullptr || input == nullptr || output == nullptr) {
    return false;
  }
  if (length % BlockSize() != 0) return false;
  if (length == 0) return true;
  if (output != input) std::memmove(output, input, length);  // overlap allowed
  if (cipherType_ == CipherAES) {
    rijdael aes(*this);
    aes.SetKey(key);
    aes.DecryptCBC(output, length);
  } else {
    DecipherTdes(key, output, length);
  }
  SecureWipe(schedule_.data(), sizeof(schedule_));
  return true;
}

// The schedules are built once per call; rebuilding them for every block would give the same
// result.
void DF8Crypt::EncipherTdes(const uint8_t *key, uint8_t *buffer, size_t length) {
  des cipher(*this);
  cipher.Set2Key(key, des::Direction::Encipher);
  for (size_t offset = 0; offset < length; offset += kDesBlock) {
    uint8_t *block = buffer + offset;
    XorInto(block, iv_.data(), kDesBlock);
    cipher.CryptBlock(block, block);
    std::memcpy(iv_.data(), block, kDesBlock);
  }
}

void DF8Crypt::DecipherTdes(const uint8_t *key, uint8_t *buffer, size_t length) {
  des cipher(*this);
  cipher.Set2Key(key, des::Direction::Decipher);
  uint8_t ciphertext[kDesBlock];
  for (size_t offset = 0; offset < length; offset += kDesBlock) {
    uint8_t *block = buffer + offset;
    std::memcpy(ciphertext, block, kDesBlock);
    cipher.CryptBlock(block, block);
    XorInto(block, iv_.data(), kDesBlock);
    std::memcpy(iv_.data(), ciphertext, kDesBlock);
  }
}

}  // namespace kovra::desfire
