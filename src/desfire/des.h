// des: DES, two- and three-key triple DES block operations on the key-schedule area of a DF8Crypt.
//
// The object holds no key material: it is built on the stack for one operation with the context
// whose schedule area it reads and writes. Blocks and keys are 8-byte big-endian strings as they
// travel to the card; the least significant bit of every key byte (the DES parity bit, which
// DESFire uses for the key version) has no effect.
#pragma once

#include <cstdint>

namespace kovra::desfire {

class DF8Crypt;

class des {
 public:
  enum class Direction : uint8_t { Encipher, Decipher };

  explicit des(DF8Crypt &context) : context_(context) {}
  virtual ~des() = default;

  des(const des &) = delete;
  des &operator=(const des &) = delete;

  // Builds the 16-round schedule of the 8-byte key for direction into the first schedule;
  // CryptBlock then runs single DES.
  void SetKey(const uint8_t *key8, Direction direction);

  // Builds the two-key triple-DES schedules of the 16-byte key K1 || K2: first = K1 in direction,
  // second = K2 in the opposite direction, third = K1 in direction. CryptBlock then enciphers as
  // E_K1(D_K2(E_K1(P))) or deciphers as D_K1(E_K2(D_K1(C))); with K1 == K2 that is single DES.
  void Set2Key(const uint8_t *key16, Direction direction);

  // Builds the three-key triple-DES schedules of the 24-byte key K1 || K2 || K3: CryptBlock then
  // enciphers as E_K3(D_K2(E_K1(P))) or deciphers as D_K1(E_K2(D_K3(C))).
  void Set3Key(const uint8_t *key24, Direction direction);

  // Passes the 8-byte input through the schedules set last (SetKey: the first; Set2Key and Set3Key:
  // the first, second and third in turn) into the 8-byte output; input and output may be the same
  // buffer. Returns false and leaves output unchanged when this object has not been given a key
  // yet.
  bool CryptBlock(const uint8_t *input, uint8_t *output);

 private:
  DF8Crypt &context_;
  int schedules_ = 0;  // how many schedules CryptBlock runs through: 0 (no key), 1 or 3
};

}  // namespace kovra::desfire
