// The card's side of an EV1 secure channel after a successful authentication: the session key,
// the CMAC subkeys and the one chaining vector that every CMAC, encipherment and decipherment of
// the session continues from and leaves its last block in. It starts at zero once the session
// key is in place.
#pragma once

#include "sim/desfire/desfire_crypto.h"

namespace kovra_sim {

class SecureChannel {
 public:
  SecureChannel(CipherKind kind, Bytes session_key);

  CipherKind Kind() const { return kind_; }
  size_t BlockSize() const { return kovra_sim::BlockSize(kind_); }
  const Bytes &SessionKey() const { return key_; }
  const Bytes &Iv() const { return iv_; }

  // The 8 bytes that travel as the MAC of `data` (the first half of an AES CMAC, the whole
  // triple-DES one); the chain moves on by the full CMAC block.
  Bytes Mac(const Bytes &data);
  // CBC with the session key, continuing the chain; `data` must be whole blocks.
  Bytes Encipher(const Bytes &data);
  Bytes Decipher(const Bytes &data);

  static constexpr size_t kMacLength = 8;

 private:
  CipherKind kind_;
  Bytes key_;
  CmacSubkeys subkeys_;
  Bytes iv_;
};

}  // namespace kovra_sim
