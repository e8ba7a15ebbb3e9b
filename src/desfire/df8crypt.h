// DF8Crypt: the crypto context of one DESFire session. It holds the CBC chaining vector that runs
// through every command and response of the session, the cipher type the authentication chose,
// the session key, the CMAC subkeys and the key-schedule area that the cipher classes `des` and
// `rijdael` work in, and it offers the two buffer operations Encipher and Decipher (CBC with the
// context's chaining vector).
//
// The context does no I/O and takes no lock: one session, one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kovra::desfire {

class des;

// Cipher types of a session.
inline constexpr uint8_t CipherNone = 0xFF;  // not authenticated
inline constexpr uint8_t CipherTDES = 0x01;  // two-key triple DES (single DES when K1 == K2)
inline constexpr uint8_t CipherAES = 0x80;   // AES-128

// Zeroes size bytes at data in a way the compiler may not drop as a dead store (for key material
// and plaintext copies that are about to go out of scope).
void SecureWipe(void *data, size_t size);

class DF8Crypt {
 public:
  static constexpr size_t kIvSize = 16;
  static constexpr size_t kSessionKeySize = 24;  // 16 bytes are used
  static constexpr size_t kSubkeySize = 16;
  static constexpr size_t kKeySize = 16;        // the key passed to Encipher / Decipher
  static constexpr size_t kScheduleWords = 96;  // 384 bytes: three DES schedules or AES round keys

  // A new context: cipher type CipherNone, every other field zero.
  DF8Crypt();
  // Wipes all key material (session key, subkeys, schedules, chaining vector).
  virtual ~DF8Crypt();

  // Not copyable: a context holds session keys, and one session owns exactly one context.
  DF8Crypt(const DF8Crypt &) = delete;
  DF8Crypt &operator=(const DF8Crypt &) = delete;

  // Zeroes the chaining vector, the session key, both CMAC subkeys and the key-schedule area, then
  // stores cipherType (any value; only CipherTDES and CipherAES make Encipher/Decipher work).
  void Init(uint8_t cipherType);

  // Zeroes all 16 bytes of the chaining vector.
  void ClearIV();

  // CBC-enciphers length bytes of input, zero-padded to whole blocks of the given cipher type
  // (8 bytes for CipherTDES, 16 for CipherAES; nothing is appended when length already is a
  // multiple), with key (16 bytes) and the context's chaining vector, which ends as the last
  // ciphertext block. Writes the padded length of bytes to output and stores it in *outLength
  // when outLength is not null. Input and output may be the same buffer (or overlap in any way);
  // output must hold the padded length.
  // Returns true on success. Returns false and changes nothing (output, context, *outLength) when
  // cipherType is neither CipherTDES nor CipherAES, key, input or output is null, or length is too
  // close to SIZE_MAX to pad.
  // length 0: nothing is enciphered, the result is true and *outLength is 0.
  bool Encipher(uint8_t cipherType, const uint8_t *key, const uint8_t *input, uint8_t *output,
                size_t length, size_t *outLength = nullptr);

  // CBC-deciphers length bytes of input into output with key (16 bytes), the context's cipher type
  // and its chaining vector, which ends as the last ciphertext block of the input. Input and
  // output may be the same buffer (or overlap in any way).
  // Returns true when it ran. Returns false and changes nothing (output, context) when the
  // context's cipher type is neither CipherTDES nor CipherAES, when length is not a multiple of
  // the block size, or key, input or output is null.
  // length 0: a whole number of blocks (none); nothing changes and the result is true.
  bool Decipher(const uint8_t *key, const uint8_t *input, uint8_t *output, size_t length);

  // The block size of a cipher type: 16 for CipherAES, 8 for every other value.
  static size_t BlockSizeOf(uint8_t cipherType) { return cipherType == CipherAES ? 16 : 8; }
  // The block size of the context's cipher type.
  size_t BlockSize() const { return BlockSizeOf(cipherType_); }

  // The context's cipher type (CipherNone, CipherTDES, CipherAES or whatever Init stored).
  uint8_t CipherType() const { return cipherType_; }

  // The 16-byte chaining vector; triple DES uses its first 8 bytes and leaves the rest alone.
  uint8_t *IV() { return iv_.data(); }
  const uint8_t *IV() const { return iv_.data(); }

  // The 24-byte session key field (the session layer fills the first 16 bytes).
  uint8_t *SessionKey() { return sessionKey_.data(); }
  const uint8_t *SessionKey() const { return sessionKey_.data(); }

  // The 16-byte CMAC subkeys K1 and K2 (filled by the session layer; for triple DES the first
  // 8 bytes are used).
  uint8_t *SubkeyK1() { return subkeyK1_.data(); }
  const uint8_t *SubkeyK1() const { return subkeyK1_.data(); }
  uint8_t *SubkeyK2() { return subkeyK2_.data(); }
  const uint8_t *SubkeyK2() const { return subkeyK2_.data(); }

 private:
  friend class des;
  friend class rijdael;

  // CBC over whole 8-byte blocks of buffer, in place, with the two-key triple-DES schedules that
  // cipher was given (Set2Key in the matching direction).
  void EncipherTdes(des &cipher, uint8_t *buffer, size_t length);
  void DecipherTdes(des &cipher, uint8_t *buffer, size_t length);

  std::array<uint8_t, kIvSize> iv_{};
  uint8_t cipherType_ = CipherNone;
  std::array<uint8_t, kSessionKeySize> sessionKey_{};
  std::array<uint8_t, kSubkeySize> subkeyK1_{};
  std::array<uint8_t, kSubkeySize> subkeyK2_{};
  // How much of schedule_ each cipher fills; Encipher and Decipher wipe just that part afterwards.
  static constexpr size_t kDesScheduleWords = 32;  // one DES schedule: 16 rounds, two words each
  static constexpr size_t kAesRoundKeyWords = 44;  // the eleven AES-128 round keys

  // Shared by the cipher in use: des keeps up to three schedules of kDesScheduleWords here (first,
  // second, third), rijdael its kAesRoundKeyWords enciphering round keys and, once it deciphers,
  // the inverse cipher's round keys right behind them. Nothing in it outlives one
  // Encipher/Decipher call.
  std::array<uint32_t, kScheduleWords> schedule_{};
};

}  // namespace kovra::desfire
