// AES (0xAA) and ISO (0x1A, two-key triple DES) authentication of the EV1 secure channel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader/port.h"

namespace kovra::desfire {

enum class AuthMethod { kAes, kIso };

// Authenticates with key key_no of the selected application (or the card). key: 16 bytes, or
// null for the factory default key of 16 zero bytes. True on success: the session then runs with
// the derived session key, a zero chaining vector and fresh CMAC subkeys. False with the last
// error KOVRA_DESFIRE_ERR_KEY_LENGTH (a key of another length; the session is left as it was),
// 0x10000 + the card's status, the reader's error, or unchanged when the card's proof of RndA
// does not match.
bool Authenticate(CKOVRA_Port &port, AuthMethod method, int key_no, const uint8_t *key,
                  int key_length);

}  // namespace kovra::desfire
