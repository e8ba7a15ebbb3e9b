// The reader's frames in its four protocol families: building a command frame, finding the end
// of a reply in the receive buffer, and checking and parsing a complete reply. Pure functions on
// bytes; the waiting and the link live in port.cpp and the transports.
//
//   family  command frame               reply frame
//   0       02 A C L D.. BCC            02 A S L D.. BCC       BCC = XOR from A to the last data
//   byte 1       A C L D.. CRClo CRChi       A S L D.. CRClo CRChi  CRC-16/MODBUS over all bytes
//   before it 2, 3    1E C L D..                  1E S L D..             no check; S echoes C on
//   success
//
// A reply length byte of 0xFF announces a chain of blocks (n, n bytes, ...) closed by one 0xFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "reader/byte_array.h"

namespace kovra::frame {

constexpr int kFamilyCount = 4;
constexpr uint8_t kStartByteFamily0 = 0x02;
constexpr uint8_t kStartByteFamily23 = 0x1E;
constexpr uint8_t kBlockChain = 0xFF;
constexpr size_t kMaxDataLength = 255;

uint8_t Bcc(const uint8_t *bytes, size_t count);
uint16_t Crc16Modbus(const uint8_t *bytes, size_t count);

// Families 2 and 3 use their own command codes for some generic ones; this rewrites the command
// (code followed by data) in place. Families 0 and 1 leave it unchanged.
void TranslateCommand(int family, CMyByteArray &command);

struct BuiltFrame {
  int error = 0;     // 0, or the code that makes the command unsendable
  uint8_t echo = 0;  // the command byte after translation; families 2 and 3 expect it back
};

// Frames `command` (code followed by data) for the family in place: translation, length byte,
// start byte or address, check bytes. An empty command gives KOVRA_ERR_NO_DATA, more than 255
// data bytes KOVRA_ERR_WRONG_PARAMETER; the command is then left as it was.
BuiltFrame BuildFrame(int family, uint8_t address, CMyByteArray &command);

size_t HeaderLength(int family);   // 4 in family 0, 3 in the others
size_t TrailerLength(int family);  // 1 in family 0, 2 in family 1, 0 in families 2 and 3

// How many bytes at the front of the buffer stand before the family's start byte and are to be
// dropped. Family 1 has no start byte and never skips anything.
size_t LeadingGarbage(int family, const uint8_t *bytes, size_t count);

// The length of the complete reply frame at the front of the buffer, or nothing while more bytes
// are needed. Call it only once the header is there (count >= HeaderLength).
std::optional<size_t> CompleteLength(int family, const uint8_t *bytes, size_t count);

struct ParseResult {
  bool ok = false;
  // The code to store as the port's last error (KOVRA_ERR_MORE_DATA on a family-0 "more data"
  // success).
  int error = 0;
};

// Checks a reply frame and, on success, leaves only its data in `data`. `echo` is the command byte
// that was sent (families 2 and 3). Accepts any bytes: a frame too short for its header and
// trailer is refused with KOVRA_ERR_WRONG_LENGTH.
ParseResult ParseReply(int family, uint8_t echo, const uint8_t *bytes, size_t count,
                       CMyByteArray &data);

}  // namespace kovra::frame
