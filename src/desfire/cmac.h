// The CMAC (NIST SP 800-38B) of the DESFire EV1 secure channel, on a session's crypto context:
// it uses the context's session key and subkeys and runs on from its chaining vector.
#pragma once

#include <cstddef>
#include <cstdint>

#include "desfire/df8crypt.h"

namespace kovra::desfire {

constexpr size_t kMacLength = 8;  // the transmitted MAC: the first 8 bytes of the CMAC

// Derives the subkeys K1 and K2 from the session key; the chaining vector is kept.
void GenerateCmacSubkeys(DF8Crypt &context);

// The CMAC of the data, continuing from the chaining vector, which then holds the whole CMAC
// block. With status_last the first byte (a response's status byte) is moved behind the rest
// first. Writes the first 8 bytes to mac when given. False when the context has no cipher.
bool ComputeCmac(DF8Crypt &context, bool status_last, const uint8_t *data, size_t length,
                 uint8_t *mac = nullptr);

// Checks a response: the CMAC over data (status byte first, moved last) against the 8 bytes of
// expected. True when they match.
bool VerifyMac(DF8Crypt &context, const uint8_t *data, size_t length, const uint8_t *expected);

// Checks the MAC at the end of a response (status byte first, then data, then 8 MAC bytes).
// False when the response is too short to carry a status byte and a MAC.
bool VerifyTrailingMac(DF8Crypt &context, const uint8_t *response, size_t length);

}  // namespace kovra::desfire
