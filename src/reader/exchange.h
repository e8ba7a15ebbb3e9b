// The reader's exchange with an ISO 14443-4 card: a block goes out with command 0x45 and the
// card's answer comes back, in parts when the reader reports more data (0x46 fetches the next).
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader/byte_array.h"
#include "reader/port.h"

namespace kovra {

// Sends `block` (1..255 bytes) to the card and collects the whole answer in `answer`. False when
// a command fails; the port's last error tells why. An answer in parts leaves the last error at
// 0 once the final part came.
bool Exchange(CKOVRA_Port &port, const uint8_t *block, size_t length, CMyByteArray &answer);

// The same with the "data" result convention: the answer's length, or -1 (KOVRA_ERR_BUFFER_SMALL
// when it does not fit into `size` bytes; the buffer is then left untouched).
int Exchange(CKOVRA_Port &port, const uint8_t *block, size_t length, uint8_t *buffer, int size);

}  // namespace kovra
