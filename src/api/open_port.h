// Opening a reader port: open the transport the name leads to (transport/transport_factory.h),
// find the reader's protocol family by asking for its version, and hand out the port's handle.
// And closing it again.
#pragma once

#include "reader/byte_array.h"
#include "reader/port.h"

namespace kovra {

// The version command (0xF0) on the port in its current family. Families 2 and 3 answer in
// their own way; their answers are rewritten into the four characters of the others: family 2's
// 04 05 31 35 becomes "1715" or the answer to a follow-up "FV" query, other 4-byte answers get
// "171" in front of their last byte; family 3's 9-byte answer gives "117" and its byte 7.
bool VersionQuery(CKOVRA_Port &port, CMyByteArray &answer);

// KOVRA_OpenPort without the C wrapping: the handle (> 0), KOVRA_OPEN_FAILED (no transport for
// the name, or it did not open), KOVRA_OPEN_BAD_TIMEOUT, KOVRA_OPEN_NO_READER or
// KOVRA_OPEN_HID_NOT_STARTED (a HID reader that refused its start report).
int OpenPort(const char *name, int baud, int timeout_ms);

// KOVRA_ClosePort: 0 when the port was found, closed and destroyed; -1 for an unknown handle.
int ClosePort(int handle);

}  // namespace kovra
