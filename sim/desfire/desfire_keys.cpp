// ChangeKey (C4), GetKeySettings (45) and GetKeyVersion (64).
//
// ChangeKey frame: C4, key-number byte, cryptogram. At card level the key-number byte's low six
// bits must be 0 (the only key) and its top bits give the new master key's type: 0x80 AES,
// 0x40 three-key 3DES (refused, 0x9E), neither DES/2K3DES. Inside an application the byte is the
// key number and the type is the application's.
//
// Who may change a key: the master key (card or application level) only while authenticated
// with itself and while key settings bit 0 allows it (else 0x9D); another application key as the
// application's change-key access says (high nibble of key settings 1): a key number = that key
// must be authenticated, 0xE = the key itself, 0xF = frozen (0x9D). Not authenticated, or with
// another key: 0xAE.
//
// The cryptogram, deciphered with the session key continuing the chain:
//   key field (16): the new key, or new XOR old when another key than the authenticated one
//                   changes
//   version (1):    only when the new key is AES (whatever the session's cipher)
//   CRC32 (4):      over C4 || key-number byte || key field [|| version]
//   CRC32 (4):      over the new key alone, only when another key changes
//   zeros up to a multiple of the session's block size
// The length must be exactly that (else 0x7E); a CRC or padding byte that does not fit gives
// 0x1E. A DES or 3DES key's version is read from the parity bits of its first 8 bytes.
// Changing the authenticated key ends the session: the answer is status 00 alone.
#include "sim/desfire/desfire_card.h"

namespace kovra_sim {

using namespace desfire_status;

namespace {

uint32_t Le32(const Bytes &bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

constexpr uint8_t kCardKeyAes = 0x80;
constexpr uint8_t kCardKey3k3des = 0x40;

}  // namespace

DesfireCard::CardAnswer DesfireCard::ChangeKey(const Bytes &frame) {
  if (frame.size() < 2) return Error(kLengthError);
  const uint8_t key_byte = frame[1];
  DesfireApplication *application = Selected();
  uint8_t number = key_byte;
  DesfireKeyType new_type = DesfireKeyType::kDes;
  if (!application) {
    number = key_byte & 0x3F;
    if (number != 0) return Error(kNoSuchKey);
    if (key_byte & kCardKey3k3des) return Error(kParameterError);
    if (key_byte & kCardKeyAes) new_type = DesfireKeyType::kAes;
  } else {
    if (number >= application->keys.size()) return Error(kNoSuchKey);
    new_type = application->KeyType();
  }
  DesfireKey *key = KeyOfSelected(number);

  const std::optional<uint8_t> authenticated = AuthenticatedKey();
  if (!authenticated) return Error(kAuthenticationError);
  if (number == 0) {
    const uint8_t settings = application ? application->key_settings : picc_.key_settings;
    if (*authenticated != 0) return Error(kAuthenticationError);
    if (!(settings & kSettingMasterKeyChangeable)) return Error(kPermissionDenied);
  } else {
    const uint8_t access = application->ChangeKeyAccess();
    if (access == kAccessNever) return Error(kPermissionDenied);
    if (*authenticated != (access == kAccessFree ? number : access)) {
      return Error(kAuthenticationError);
    }
  }

  const bool same_key = *authenticated == number;
  const bool aes = new_type == DesfireKeyType::kAes;
  const size_t block = session_->channel.BlockSize();
  const size_t plain_length = DesfireKey::kLength + (aes ? 1 : 0) + 4 + (same_key ? 0 : 4);
  const size_t cryptogram_length = (plain_length + block - 1) / block * block;
  if (frame.size() != 2 + cryptogram_length) return Error(kLengthError);
  const Bytes plain = session_->channel.Decipher(Bytes(frame.begin() + 2, frame.end()));

  size_t at = DesfireKey::kLength + (aes ? 1 : 0);
  Bytes checked{frame[0], key_byte};
  checked.insert(checked.end(), plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(at));
  if (Le32(plain, at) != DesfireCrc32(checked)) return Error(kIntegrityError);
  at += 4;
  Bytes new_key(plain.begin(), plain.begin() + DesfireKey::kLength);
  if (!same_key) {
    for (size_t i = 0; i < new_key.size(); ++i) new_key[i] ^= key->bytes[i];
    if (Le32(plain, at) != DesfireCrc32(new_key)) return Error(kIntegrityError);
    at += 4;
  }
  for (; at < plain.size(); ++at) {
    if (plain[at] != 0) return Error(kIntegrityError);
  }

  key->type = new_type;
  key->version = aes ? plain[DesfireKey::kLength] : DesKeyVersion(new_key);
  key->bytes = std::move(new_key);
  if (same_key) {
    EndSession();
    return CardAnswer{kOk, {}, false, {}};
  }
  return CardAnswer{};
}

// Free when key settings bit 1 (free directory list) is set, else the master key of the level.
// Answer: key settings 1, then at card level 0x01 (DES master key) or 0x81 (AES), in an
// application crypto method << 6 | key count.
DesfireCard::CardAnswer DesfireCard::GetKeySettings(const Bytes &frame) {
  if (frame.size() != 1) return Error(kLengthError);
  const DesfireApplication *application = Selected();
  const uint8_t settings = application ? application->key_settings : picc_.key_settings;
  if (!(settings & kSettingFreeDirectoryList) && !MasterKeyAuthenticated()) {
    return Error(kAuthenticationError);
  }
  uint8_t second = 0;
  if (application) {
    second = static_cast<uint8_t>((application->key_settings2 & 0xC0) | application->keys.size());
  } else {
    second = picc_.master_key.type == DesfireKeyType::kAes ? 0x81 : 0x01;
  }
  return CardAnswer{kOk, {settings, second}, true, {}};
}

// Free. Answer: the key's version.
DesfireCard::CardAnswer DesfireCard::GetKeyVersion(const Bytes &frame) {
  if (frame.size() != 2) return Error(kLengthError);
  const DesfireKey *key = KeyOfSelected(frame[1]);
  if (!key) return Error(kNoSuchKey);
  return CardAnswer{kOk, {key->version}, true, {}};
}

}  // namespace kovra_sim
