// How a DESFire command reaches the card: a native frame (command byte, parameters) through the
// reader's ISO 14443-4 exchange, and the card's answer (status byte, data) back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader/byte_array.h"
#include "reader/port.h"

namespace kovra::desfire {

constexpr uint8_t kStatusOk = 0x00;
constexpr uint8_t kStatusMore = 0xAF;

// Sends the frame and collects the answer. False when the exchange fails (its error stays), the
// answer is longer than receive_size (KOVRA_ERR_BUFFER_SMALL), or the answer is empty (no new
// error).
bool CardExchange(CKOVRA_Port &port, const uint8_t *frame, size_t length, size_t receive_size,
                  CMyByteArray &answer);

// What every command does when the card did not give the answer it needs: the authentication
// ends, and a status byte that came back becomes the last error 0x10000 + status. Returns false.
bool FailCommand(CKOVRA_Port &port, const CMyByteArray &answer);

// Little-endian helpers for DESFire fields.
void Append24(CMyByteArray &frame, uint32_t value);

}  // namespace kovra::desfire
