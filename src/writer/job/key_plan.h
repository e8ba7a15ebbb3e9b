// The checks that run before a card is written or read, and the key plan they derive from the
// job: the access nibbles and the 16-byte keys the card sequences use.
#pragma once

#include <QByteArray>
#include <QStringView>
#include <QtGlobal>
#include <optional>

#include "writer/job/desfire_set.h"
#include "writer/job/job_check.h"

namespace quillmate {

// An access nibble: 0 the app master key, 1 to 13 that key number, 14 free, 15 none.
inline constexpr int kNibbleAppMasterKey = 0;
inline constexpr int kNibbleFree = 14;
inline constexpr int kNibbleNone = 15;

// True when the right needs key `nibble` (the app master key or keys 1 to 13): an authentication.
inline constexpr bool NeedsKey(int nibble) {
  return nibble >= kNibbleAppMasterKey && nibble < kNibbleFree;
}
// True when the right names a key of its own (1 to 13), installed under the right's name; the app
// master key is installed as such.
inline constexpr bool NeedsOwnKey(int nibble) {
  return nibble > kNibbleAppMasterKey && nibble < kNibbleFree;
}

// Which keys of a plan are master keys, each card's own key derived from them (CardKeyPlan in
// writer/cards/card_keys.h), and the rest of the derivation's input besides the card's UID.
struct KeyDerivation {
  bool card_master_key = false;
  bool app_master_key = false;
  bool read_key = false;
  bool write_key = false;
  bool read_write_key = false;
  QByteArray system_identifier;  // at most kMaxSystemIdentifierBytes
  int app_id = 0;                // the application's AID (the card master key's is 0)

  bool Any() const {
    return card_master_key || app_master_key || read_key || write_key || read_write_key;
  }
};

// The longest system identifier: a derived AES-128 key takes at most 31 bytes of input, of which
// the card's UID takes 7 (a DESFire card's) and the application ID 3.
inline constexpr int kMaxSystemIdentifierBytes = 31 - 7 - 3;

// An empty key stands for the factory default key (16 zero bytes) and is handed to the library
// as an absent key; every other key is exactly 16 bytes. A key whose derivation flag is set is a
// master key: no card ever receives it.
struct KeyPlan {
  QByteArray card_master_key;  // empty: the card-level step of the write is skipped
  QByteArray app_master_key;
  int read_nibble = kNibbleNone;  // 0 to 13 key number, 14 free, 15 none
  int write_nibble = kNibbleNone;
  int read_write_nibble = kNibbleNone;
  QByteArray read_key;
  QByteArray write_key;
  QByteArray read_write_key;
  KeyDerivation derivation;  // nothing derived for a job without "pro Karte ableiten"
};

// A key text has at most this many hex digits (16 bytes).
inline constexpr int kMaxKeyDigits = 32;

// The value 0-15 of a hex digit 0-9, A-F, a-f; -1 for any other character.
int HexDigitValue(QChar c);

// True when every character is a hex digit 0-9, A-F, a-f (an empty text is all hex).
bool IsHexText(QStringView text);

// True for a key text: at most kMaxKeyDigits hex digits (empty: the factory default key).
bool IsKeyText(QStringView text);

// A hex key text as 16 bytes: digit pairs from the left, high nibble first, zeros after; an odd
// last digit becomes a byte of that digit's value ("ABC" gives AB 0C 00 ...). Empty text gives an
// empty key. Only the first 32 digits count; callers check IsHexText and the length first.
QByteArray HexKeyToBytes(QStringView text);

// The bytes of a system identifier text: "0x" followed by hex digit pairs gives those bytes, any
// other text its UTF-8 bytes. nullopt for "0x" with an odd count of digits or a non-hex digit.
std::optional<QByteArray> SystemIdentifierBytes(QStringView text);

// The file's 16-bit access-rights word: read nibble in bits 15-12, write in 11-8, read/write in
// 7-4, and the change right in 3-0: the app master key (0) with at least one key, else free (14).
quint16 AccessRightsWord(const KeyPlan &plan, int key_count);

// The key part of both job checks. Rebuilds `plan` from scratch; on a refusal `plan` holds what
// was built up to it. Refusals: "Keine Hex-Eingabe" on a key field (also for more than 32 digits),
// no read or no write access at all, a key derived per card whose master key is not exactly 32
// hex digits, and, when a key is derived, a system identifier that is no valid hex text or longer
// than kMaxSystemIdentifierBytes. A right sharing a key number with an earlier one shares its
// derivation flag too. Of two rights on one key number only the key text of
// the first in the order read, write, read/write counts; the others are neither checked nor used.
// An access index past the list of the job's key count counts as "Kein Zugriff".
JobCheck BuildKeyPlan(const DesfireSet &job, KeyPlan &plan);

// Checks the job for writing (data text present and made of the format's digits, decimal binary
// at most 8 bytes, the tidied value fits the file whole) and builds `plan`. Passed: the job may go
// to a card.
JobCheck ValidateWriteJob(const DesfireSet &job, KeyPlan &plan);

// The data text part of ValidateWriteJob, alone: present, made of the format's digits, decimal
// binary at most 8 bytes, the tidied value fits the file whole. A value that fails it never
// becomes a series' value.
JobCheck CheckDataText(const DesfireSet &job);

// "Der Wert <value> passt nicht in die Datei mit N Bytes!" for the job's (tidied) value.
QString ValueDoesNotFitText(const DesfireSet &job);

// Checks the job for reading (decimal binary at most 8 bytes; the data text is not looked at) and
// builds `plan`.
JobCheck ValidateReadJob(const DesfireSet &job, KeyPlan &plan);

}  // namespace quillmate
