// rijdael: AES-128 block and CBC operations on the key-schedule area of a DF8Crypt.
//
// The object holds no key material: it is built on the stack for one operation with the context
// whose schedule area (the eleven round keys, and for deciphering the inverse cipher's eleven
// behind them) and chaining vector it uses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kovra::desfire {

class DF8Crypt;

class rijdael {
 public:
  explicit rijdael(DF8Crypt &context) : context_(context) {}
  virtual ~rijdael() = default;

  rijdael(const rijdael &) = delete;
  rijdael &operator=(const rijdael &) = delete;

  // Expands the 16-byte key into the eleven round keys in the context's schedule area.
  void SetKey(const uint8_t *key16);

  // One AES-128 encipher / decipher of the 16-byte block in place with the key set last.
  // Both return false and leave the block unchanged when this object has not been given a key.
  bool EncryptBlock(uint8_t *block);
  bool DecryptBlock(uint8_t *block);

  // Enciphers ceil(length / 16) blocks of buffer in place in CBC mode, starting from the context's
  // chaining vector, which ends as the last ciphertext block. The buffer must hold that many whole
  // blocks; bytes past length are enciphered as they are (the caller zero-pads).
  // Returns false and changes nothing without a key; length 0 does nothing and returns true.
  bool EncryptCBC(uint8_t *buffer, size_t length);

  // Deciphers floor(length / 16) blocks of buffer in place in CBC mode, starting from the
  // context's chaining vector, which ends as the last ciphertext block; trailing bytes of a
  // partial block are left alone.
  // Returns false and changes nothing without a key; fewer than 16 bytes do nothing and return
  // true.
  bool DecryptCBC(uint8_t *buffer, size_t length);

 private:
  // Derives the inverse cipher's round keys behind the enciphering ones in the schedule area, once
  // per key: deciphering with table lookups needs InvMixColumns applied to the middle round keys.
  void PrepareDecryption();

  DF8Crypt &context_;
  bool keySet_ = false;
  bool decryptionKeysSet_ = false;  // PrepareDecryption ran since the last SetKey
};

}  // namespace kovra::desfire
