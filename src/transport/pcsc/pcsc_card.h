// What a PC/SC reader tells about the card it activated, and the framing of DESFire commands for
// it. Pure functions on bytes; the link (pcsc_link.h) does the calls.
//
// A contactless reader builds the card's ATR itself (PC/SC part 3): 3B 8n 80 01, n historical
// bytes, a check byte. For an ISO 14443-4 card the historical bytes are those of its ATS (type A)
// or the application data of its ATQB (type B); for a storage card (MIFARE Classic, Ultralight)
// they are 80 4F 0C, the registered identifier A0 00 00 03 06, the standard byte, the card name
// in two bytes and four bytes 00.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/port_name.h"

namespace kovra::pcsc {

// The name prefix of PC/SC readers in the port lists: "PCSC: " and the reader's own name.
inline constexpr std::string_view kPortPrefix = kPcscPortPrefix;

// True for a port name that begins with kPortPrefix (letter case as it stands).
bool IsPcscPortName(std::string_view name);
// The reader's name in a port name (what follows kPortPrefix).
std::string_view ReaderOfPortName(std::string_view name);
// The reader names in a PC/SC multi-string (names each ending with NUL, a final NUL after the
// last); reads at most `length` bytes, and a last name without its NUL still counts. Empty
// names are dropped.
std::vector<std::string> SplitReaderList(const char *multi, size_t length);

enum class CardKind {
  kIso14443_4,    // speaks ISO 14443-4: a DESFire card can be
  kStorage,       // a storage card the reader names (no ISO 14443-4)
  kUnrecognised,  // no contactless ATR (a contact card), or a storage card of an unknown name
};

struct ActivatedCard {
  CardKind kind = CardKind::kUnrecognised;
  // What a maker's reader reports on select: 0x20 for ISO 14443-4, else the storage card's SAK
  // (0x08 MIFARE 1K, 0x18 MIFARE 4K, 0x09 MIFARE Mini, 0x00 Ultralight).
  uint8_t sak = 0;
  std::vector<uint8_t> historical;  // the ATR's historical bytes
};

// Reads a card's ATR. Anything that is not a well-formed contactless ATR of the form above (a
// wrong check byte, missing bytes, a contact card's interface bytes) is kUnrecognised.
ActivatedCard ReadContactlessAtr(const uint8_t *atr, size_t length);

// The answer to select a maker's reader gives, built from what PC/SC reports: an ATS of length
// byte, format byte 00 (no interface bytes) and the historical bytes.
std::vector<uint8_t> AtsOf(const ActivatedCard &card);

// The command that asks the reader for the card's UID (FF CA 00 00 00).
std::vector<uint8_t> GetUidCommand();
// The UID in the answer to GetUidCommand: the bytes before status 90 00, 4 to 10 of them; nothing
// for any other answer.
std::optional<std::vector<uint8_t>> UidOfAnswer(const uint8_t *answer, size_t length);

// A DESFire native frame (command code, parameters) wrapped as an ISO 7816-4 command: CLA 90,
// INS the command code, P1 P2 00, Lc and the parameters when there are any, Le 00. Nothing for
// an empty frame or more than 255 parameter bytes.
std::optional<std::vector<uint8_t>> WrapNativeCommand(const uint8_t *frame, size_t length);

struct NativeAnswer {
  bool ok = false;
  int error = 0;                // a KOVRA_ERR_* or reader code when !ok
  std::vector<uint8_t> answer;  // the native answer: status byte, then the data
};

// The native answer in a wrapped answer (data, 91, status). A status word other than 91 xx is a
// card or reader that did not take the wrapped command: 6D 00, 6E 00 and 68 xx are the reader's
// "not supported" (code 32), every other one "unknown error" (code 41). Fewer than two bytes is
// the card's answer missing, KOVRA_ERR_NO_TRANSPONDER: a reader whose card went away in the middle
// of an exchange may hand over an empty answer as a success.
NativeAnswer UnwrapNativeAnswer(const uint8_t *answer, size_t length);

}  // namespace kovra::pcsc
