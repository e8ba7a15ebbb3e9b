// DF8Crypt: the crypto context of one DESFire session (chaining vector, session key, CMAC
// subkeys) and its CBC buffer operations.
#include "desfire/df8crypt.h"

#include <cstring>
#include <limits>

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
  if (size == 0) return;
  std::memset(data, 0, size);
  // The empty assembler statement claims to read the memory behind data, so the compiler cannot
  // drop the memset as a dead store, yet the wipe stays one fast memset instead of a volatile
  // byte loop.
  __asm__ __volatile__("" : : "r"(data) : "memory");
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
    // The plaintext is moved into output (memmove: the buffers may overlap) and enciphered there
    // in place. That needs no scratch copy, so no further copy of secrets on their way to the card
    // (a new key for ChangeKey) is left to wipe. The key schedule is built before output is
    // written, so the key is read as the caller passed it even if it lies inside output.
    auto moveIntoOutput = [&] {
      std::memmove(output, input, length);
      std::memset(output + length, 0, padded - length);
    };
    if (cipherType == CipherAES) {
      rijdael aes(*this);
      aes.SetKey(key);
      moveIntoOutput();
      aes.EncryptCBC(output, padded);
      SecureWipe(schedule_.data(), kAesRoundKeyWords * sizeof(uint32_t));
    } else {
      des cipher(*this);
      cipher.Set2Key(key, des::Direction::Encipher);
      moveIntoOutput();
      EncipherTdes(cipher, output, padded);
      SecureWipe(schedule_.data(), 3 * kDesScheduleWords * sizeof(uint32_t));  // Set2Key's three
    }
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
    // The enciphering round keys and the inverse cipher's behind them.
    SecureWipe(schedule_.data(), 2 * kAesRoundKeyWords * sizeof(uint32_t));
  } else {
    des cipher(*this);
    cipher.Set2Key(key, des::Direction::Decipher);
    DecipherTdes(cipher, output, length);
    SecureWipe(schedule_.data(), 3 * kDesScheduleWords * sizeof(uint32_t));  // Set2Key's three
  }
  return true;
}

// The schedules are built once per call (by the caller); rebuilding them for every block would give
// the same result.
void DF8Crypt::EncipherTdes(des &cipher, uint8_t *buffer, size_t length) {
  for (size_t offset = 0; offset < length; offset += kDesBlock) {
    uint8_t *block = buffer + offset;
    XorInto(block, iv_.data(), kDesBlock);
    cipher.CryptBlock(block, block);
    std::memcpy(iv_.data(), block, kDesBlock);
  }
}

void DF8Crypt::DecipherTdes(des &cipher, uint8_t *buffer, size_t length) {
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
