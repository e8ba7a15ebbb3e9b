// Opening a reader port: pick the transport from the name, open it, find the reader's protocol
// family by asking for its version, and hand out the port's handle. And closing it again.
#pragma once

#include "reader/byte_array.h"
#include "reader/port.h"

namespace kovra {

// Results of OpenPort besides a handle.
constexpr int kOpenFailed = -1;          // the transport did not open, or a "BTW" name
constexpr int kOpenBadTimeout = -2;      // negative timeout
constexpr int kOpenNoReader = -11;       // no usable version answer in any family
constexpr int kOpenHidNotStarted = -13;  // a HID device opened but refused to start

// The version command (0xF0) on the port in its current family. Families 2 and 3 answer in
// their own way; their answers are rewritten into the four characters of the others: family 2's
// 04 05 31 35 becomes "1715" or the answer to a follow-up "FV" query, other 4-byte answers get
// "171" in front of their last byte; family 3's 9-byte answer gives "117" and its byte 7.
bool VersionQuery(CKOVRA_Port &port, CMyByteArray &answer);

// KOVRA_OpenPort without the C wrapping: the handle (> 0) or one of the results above.
int OpenPort(const char *name, int baud, int timeout_ms);

// KOVRA_ClosePort: 0 when the port was found, closed and destroyed; -1 for an unknown handle.
int ClosePort(int handle);

}  // namespace kovra
