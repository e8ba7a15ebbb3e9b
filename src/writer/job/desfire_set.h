// The write job: what every card of a series receives, the access-right list the three rights
// choose from, and the checks that take a field's text into the job.
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include "writer/job/job_check.h"

namespace quillmate {

enum class NumberFormat { kNone = 0, kDecimal = 1, kHexadecimal = 2 };
enum class Representation { kBinary = 0, kAscii = 1 };
enum class Orientation { kNormal = 0, kRotated = 1 };
// The "File Zugriff" list index; FileModeByte() gives the card's communication byte.
enum class FileMode { kPlain = 0, kPlainWithMac = 1, kEnciphered = 2 };

inline constexpr int kMinAppId = 0x000001;
inline constexpr int kMaxAppId = 0xFFFFFF;
inline constexpr int kMinFileId = 0x00;
inline constexpr int kMaxFileId = 0x1F;
inline constexpr int kMinKeyCount = 0;
inline constexpr int kMaxKeyCount = 14;
// A data file's size travels in 24 bits; a larger length could not be created as asked.
inline constexpr int kMaxLength = 0xFFFFFF;
// A decimal value is a number of at most 64 bits.
inline constexpr int kMaxDecimalBytes = 8;

// Defaults are those of a first start with empty settings.
struct DesfireSet {
  QString data;     // "Wert": the value or text written to the card; the current counter value
  int length = 32;  // "Byteanzahl": file size and number of bytes written and read
  NumberFormat number_format = NumberFormat::kDecimal;
  Representation representation = Representation::kAscii;
  Orientation orientation = Orientation::kNormal;
  int app_id = 1;   // 1 to 0xFFFFFF
  int file_id = 0;  // 0 to 0x1F
  FileMode file_mode = FileMode::kPlain;
  QString card_key;     // hex text, up to 32 digits; empty: leave the card master key alone
  QString app_key;      // hex text, up to 32 digits
  int key_count = 14;   // 0 to 14 application keys
  int read_key_nr = 1;  // index into the access list (FillAccessLists)
  int write_key_nr = 1;
  int read_write_key_nr = 1;
  QString read_key;  // hex text used when the read right names a key of its own
  QString write_key;
  QString read_write_key;
  bool auto_increment = true;
  bool leading_zeros = false;
  bool prefix_allowed = false;  // text before and after the number in ASCII representation
  // "pro Karte ableiten": the key field holds a master key, and every card gets the key derived
  // from it and the card's UID, the application ID (000000 for the card master key) and
  // system_identifier, so that a key read out of one card opens no other card.
  bool card_key_derived = false;
  bool app_key_derived = false;
  bool read_key_derived = false;
  bool write_key_derived = false;
  bool read_write_key_derived = false;
  // "System-Kennung": part of every derived key's input; a text, or "0x" and hex digit pairs.
  QString system_identifier;
};

// The card's communication settings byte for a file mode: plain 0x00, MAC 0x01, enciphered 0x03.
int FileModeByte(FileMode mode);

// One entry of the access-right list shared by "Lesen", "Schreiben" and "Lesen/Schreiben".
struct AccessEntry {
  QString text;  // "Kein Zugriff", "Freier Zugriff", "App Master Key", "Key 1" ... (translated)
  int nibble;    // 15 none, 14 free, 0 app master key, 1 to 13 that key number
};

// The access-right list for a key count of 0 to 14 (values outside are clamped): no access, free
// access, and with at least one key the app master key and keys 1 to key_count - 1.
QList<AccessEntry> AccessListFor(int key_count);

// Rebuilds the access-right list from job.key_count and resets every right whose index is
// negative or past the new list to 0 ("Kein Zugriff"). Returns the list for the three selectors.
QList<AccessEntry> FillAccessLists(DesfireSet &job);

// Field exchange: a field's text taken into the job. `value` is valid only when check.ok; a
// refusal carries the message and the field, and the caller cancels the action that asked.
struct FieldValue {
  int value = 0;
  JobCheck check;
};

// "App ID:", hexadecimal, 1 to FFFFFF.
FieldValue ParseAppId(QStringView text);
// "File ID:", hexadecimal, 0 to 1F.
FieldValue ParseFileId(QStringView text);
// "Key Anzahl:", decimal, 0 to 14.
FieldValue ParseKeyCount(QStringView text);
// "Länge in Bytes:", decimal, 0 to 16777215.
FieldValue ParseLength(QStringView text);

// Refuses a job whose numeric fields lie outside their ranges (a job file edited by hand can hold
// anything); the message is the field exchange's. Passed for every job the fields can produce.
JobCheck CheckJobRanges(const DesfireSet &job);

}  // namespace quillmate
