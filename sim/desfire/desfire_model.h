// What a DESFire EV1 card keeps in its memory: the card (PICC) master key and key settings, and
// up to 28 applications, each with 1..14 keys and up to 32 standard data files.
//
// Memory model (a simplification of the real allocation): the card offers `total` bytes; every
// application takes kApplicationCost bytes, every file its size rounded up to 32-byte blocks.
// Deleting an application gives its memory back at once (a real EV1 card only reclaims it on
// FormatPICC; the simulation does not age its memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/desfire/desfire_crypto.h"

namespace kovra_sim {

// The card's status bytes (the first byte of every answer).
namespace desfire_status {
constexpr uint8_t kOk = 0x00;
constexpr uint8_t kNoChanges = 0x0C;
constexpr uint8_t kOutOfMemory = 0x0E;
constexpr uint8_t kIllegalCommand = 0x1C;
constexpr uint8_t kIntegrityError = 0x1E;
constexpr uint8_t kNoSuchKey = 0x40;
constexpr uint8_t kLengthError = 0x7E;
constexpr uint8_t kPermissionDenied = 0x9D;
constexpr uint8_t kParameterError = 0x9E;
constexpr uint8_t kApplicationNotFound = 0xA0;
constexpr uint8_t kAuthenticationError = 0xAE;
constexpr uint8_t kAdditionalFrame = 0xAF;
constexpr uint8_t kBoundaryError = 0xBE;
constexpr uint8_t kCommandAborted = 0xCA;
constexpr uint8_t kCountError = 0xCE;
constexpr uint8_t kDuplicateError = 0xDE;
constexpr uint8_t kEepromError = 0xEE;
constexpr uint8_t kFileNotFound = 0xF0;
constexpr uint8_t kFileIntegrityError = 0xF1;
}  // namespace desfire_status

// kDes covers single DES and two-key triple DES: 16 bytes, single DES when both halves are equal.
// Three-key triple DES is not supported by the simulated card.
enum class DesfireKeyType { kDes, kAes };

struct DesfireKey {
  static constexpr size_t kLength = 16;

  DesfireKeyType type = DesfireKeyType::kDes;
  Bytes bytes = Bytes(kLength, 0);
  uint8_t version = 0;

  // A kDes key whose halves are equal byte for byte (parity bits included).
  bool IsSingleDes() const;
  CipherKind Cipher() const {
    return type == DesfireKeyType::kAes ? CipherKind::kAes : CipherKind::kTdes;
  }
};

// "des" (single DES), "2k3des" or "aes".
std::string_view KeyTypeName(const DesfireKey &key);
// The version a DES or 3DES key carries in the parity bits (least significant bits) of its first
// 8 bytes, byte 0 holding the most significant version bit.
uint8_t DesKeyVersion(const Bytes &key);

// Access-rights nibbles: a key number 0..13, or one of these.
constexpr uint8_t kAccessFree = 0xE;
constexpr uint8_t kAccessNever = 0xF;

// A standard data file.
struct DesfireFile {
  uint8_t number = 0;
  std::optional<uint16_t> iso_file_id;
  uint8_t comm_settings = 0;   // as created: 0 plain, 1 plain with MAC, 2 plain, 3 enciphered
  uint16_t access_rights = 0;  // read << 12 | write << 8 | read/write << 4 | change
  Bytes data;                  // the file's size in bytes, zeros when created

  uint8_t ReadKey() const { return static_cast<uint8_t>(access_rights >> 12); }
  uint8_t WriteKey() const { return static_cast<uint8_t>((access_rights >> 8) & 0x0F); }
  uint8_t ReadWriteKey() const { return static_cast<uint8_t>((access_rights >> 4) & 0x0F); }
  uint8_t ChangeKey() const { return static_cast<uint8_t>(access_rights & 0x0F); }
};

// Key settings 1 bits, the same at card and application level; the high nibble of an
// application's settings is its change-key access (key number, 0xE the key itself, 0xF frozen).
constexpr uint8_t kSettingMasterKeyChangeable = 0x01;
constexpr uint8_t kSettingFreeDirectoryList = 0x02;
constexpr uint8_t kSettingFreeCreateDelete = 0x04;
constexpr uint8_t kSettingConfigurationChangeable = 0x08;

struct DesfireApplication {
  static constexpr size_t kMaxKeys = 14;
  static constexpr size_t kMaxFiles = 32;

  uint32_t aid = 0;
  uint8_t key_settings = 0;   // key settings 1
  uint8_t key_settings2 = 0;  // as created: crypto method << 6 | ISO file IDs 0x20 | key count
  std::optional<uint16_t> iso_df_id;
  Bytes df_name;
  std::vector<DesfireKey> keys;
  std::vector<DesfireFile> files;  // in the order they were created

  DesfireKeyType KeyType() const { return keys.front().type; }
  bool UsesIsoFileIds() const { return (key_settings2 & 0x20) != 0; }
  uint8_t ChangeKeyAccess() const { return static_cast<uint8_t>(key_settings >> 4); }
  DesfireFile *File(uint8_t number);
  const DesfireFile *File(uint8_t number) const;
};

struct DesfirePicc {
  static constexpr size_t kMaxApplications = 28;
  static constexpr size_t kApplicationCost = 64;
  static constexpr size_t kFileBlock = 32;

  DesfireKey master_key;                         // factory: 16 zero bytes, DES, version 0
  uint8_t key_settings = 0x0F;                   // factory: everything allowed and free
  size_t total_memory = 7936;                    // what an empty card offers
  std::vector<DesfireApplication> applications;  // in the order they were created

  DesfireApplication *Application(uint32_t aid);
  const DesfireApplication *Application(uint32_t aid) const;
  size_t UsedMemory() const;
  size_t FreeMemory() const { return total_memory - UsedMemory(); }
  static size_t FileCost(size_t size);
};

}  // namespace kovra_sim
