// The card-level commands: SelectApplication (5A), CreateApplication (CA), DeleteApplication
// (DA), FormatPICC (FC), GetApplicationIDs (6A), GetVersion (60) and GetFreeMemory (6E).
//
// Rules of the simulated card (the EV1 rules as far as this system uses them):
//  - SelectApplication never needs a key and always ends the session, also when it fails (0xA0
//    for an unknown AID); a failed select leaves the previous selection in place.
//  - CreateApplication, FormatPICC and GetApplicationIDs run at card level only (0x9D inside an
//    application). CreateApplication needs the card master key unless the card's key settings
//    allow free create (bit 2); GetApplicationIDs unless they allow free listing (bit 1);
//    FormatPICC always needs it. Missing authentication: 0xAE.
//  - DeleteApplication needs the card master key at card level, or the application's own master
//    key while that application is selected (the free-create bit does not free deletion). An
//    unknown AID answers 0xA0 before any key is asked for. Deleting the selected application
//    leaves the card at card level without a session; its answer is status 00 alone.
//  - FormatPICC removes every application and keeps the card master key, its settings and the
//    session.
#include "sim/desfire/desfire_card.h"
#include "sim/desfire/le_bytes.h"

namespace kovra_sim {

using namespace desfire_status;

namespace {

constexpr size_t kMaxDfName = 16;
constexpr uint8_t kCryptoDes = 0;
constexpr uint8_t kCryptoAes = 2;
// GetVersion: vendor NXP, type DESFire, subtype, version 1.0 (hardware) and 1.4 (software),
// storage 0x1A (8 KB), protocol ISO 14443-2 and -3.
const Bytes kHardwareVersion = {0x04, 0x01, 0x01, 0x01, 0x00, 0x1A, 0x05};
const Bytes kSoftwareVersion = {0x04, 0x01, 0x01, 0x01, 0x04, 0x1A, 0x05};
constexpr size_t kVersionUidLength = 7;
// GetApplicationIDs sends at most 19 AIDs in one frame.
constexpr size_t kAidsPerFrame = 19;

}  // namespace

DesfireCard::CardAnswer DesfireCard::SelectApplication(const Bytes &frame) {
  EndSession();
  if (frame.size() != 4) return Error(kLengthError);
  const uint32_t aid = Le24(frame, 1);
  if (aid != 0 && !picc_.Application(aid)) return Error(kApplicationNotFound);
  selected_aid_ = aid;
  return CardAnswer{};
}

// CA, AID (3), key settings 1, key settings 2 [, ISO DF ID (2) [, DF name (1..16)]].
// Key settings 2: crypto method << 6 (0 DES/3DES, 2 AES; 1 = 3K3DES and 3 are refused with
// 0x9E), 0x20 = files carry ISO file IDs, low nibble = key count 1..14 (else 0x9E). A duplicate
// AID, ISO DF ID or DF name answers 0xDE, a 29th application 0xCE, a full card 0x0E.
DesfireCard::CardAnswer DesfireCard::CreateApplication(const Bytes &frame) {
  if (frame.size() < 6 || frame.size() == 7 || frame.size() > 8 + kMaxDfName) {
    return Error(kLengthError);
  }
  if (selected_aid_ != 0) return Error(kPermissionDenied);
  if (!(picc_.key_settings & kSettingFreeCreateDelete) && !MasterKeyAuthenticated()) {
    return Error(kAuthenticationError);
  }
  DesfireApplication application;
  application.aid = Le24(frame, 1);
  application.key_settings = frame[4];
  application.key_settings2 = frame[5];
  const uint8_t method = frame[5] >> 6;
  const size_t key_count = frame[5] & 0x0F;
  if (application.aid == 0) return Error(kParameterError);
  if (method != kCryptoDes && method != kCryptoAes) return Error(kParameterError);
  if (key_count < 1 || key_count > DesfireApplication::kMaxKeys) return Error(kParameterError);
  if (frame.size() >= 8) application.iso_df_id = Le16(frame, 6);
  if (frame.size() > 8) application.df_name.assign(frame.begin() + 8, frame.end());

  for (const DesfireApplication &other : picc_.applications) {
    if (other.aid == application.aid) return Error(kDuplicateError);
    if (application.iso_df_id && other.iso_df_id == application.iso_df_id) {
      return Error(kDuplicateError);
    }
    if (!application.df_name.empty() && other.df_name == application.df_name) {
      return Error(kDuplicateError);
    }
  }
  if (picc_.applications.size() >= DesfirePicc::kMaxApplications) return Error(kCountError);
  if (picc_.FreeMemory() < DesfirePicc::kApplicationCost) return Error(kOutOfMemory);

  DesfireKey key;  // all zero, version 0
  key.type = method == kCryptoAes ? DesfireKeyType::kAes : DesfireKeyType::kDes;
  application.keys.assign(key_count, key);
  picc_.applications.push_back(std::move(application));
  return CardAnswer{};
}

DesfireCard::CardAnswer DesfireCard::DeleteApplication(const Bytes &frame) {
  if (frame.size() != 4) return Error(kLengthError);
  const uint32_t aid = Le24(frame, 1);
  if (aid == 0) return Error(kParameterError);
  if (!picc_.Application(aid)) return Error(kApplicationNotFound);
  const bool allowed = (selected_aid_ == 0 || selected_aid_ == aid) && MasterKeyAuthenticated();
  if (!allowed) return Error(kAuthenticationError);
  std::erase_if(picc_.applications,
                [aid](const DesfireApplication &application) { return application.aid == aid; });
  if (selected_aid_ == aid) {
    selected_aid_ = 0;
    EndSession();
    return CardAnswer{kOk, {}, false, {}};
  }
  return CardAnswer{};
}

DesfireCard::CardAnswer DesfireCard::FormatPicc(const Bytes &frame) {
  if (frame.size() != 1) return Error(kLengthError);
  if (selected_aid_ != 0) return Error(kPermissionDenied);
  if (!MasterKeyAuthenticated()) return Error(kAuthenticationError);
  picc_.applications.clear();
  return CardAnswer{};
}

// The AIDs in the order they were created, 3 bytes each, least significant first.
DesfireCard::CardAnswer DesfireCard::GetApplicationIds(const Bytes &frame) {
  if (frame.size() != 1) return Error(kLengthError);
  if (selected_aid_ != 0) return Error(kPermissionDenied);
  if (!(picc_.key_settings & kSettingFreeDirectoryList) && !MasterKeyAuthenticated()) {
    return Error(kAuthenticationError);
  }
  CardAnswer answer;
  for (const DesfireApplication &application : picc_.applications) {
    AppendLe24(answer.data, application.aid);
  }
  answer.first_frames = {kAidsPerFrame * 3};
  return answer;
}

// Three frames: hardware version (7), software version (7), then UID (7), batch number (5),
// production week and year.
DesfireCard::CardAnswer DesfireCard::GetVersion(const Bytes &frame) {
  if (frame.size() != 1) return Error(kLengthError);
  CardAnswer answer;
  answer.data = kHardwareVersion;
  answer.data.insert(answer.data.end(), kSoftwareVersion.begin(), kSoftwareVersion.end());
  Bytes uid = uid_;
  uid.resize(kVersionUidLength, 0x00);
  answer.data.insert(answer.data.end(), uid.begin(), uid.end());
  answer.data.insert(answer.data.end(), options_.batch_number.begin(), options_.batch_number.end());
  answer.data.push_back(options_.production_week);
  answer.data.push_back(options_.production_year);
  answer.first_frames = {kHardwareVersion.size(), kSoftwareVersion.size()};
  return answer;
}

// Free. The free bytes, 3 bytes least significant first.
DesfireCard::CardAnswer DesfireCard::GetFreeMemory(const Bytes &frame) {
  if (frame.size() != 1) return Error(kLengthError);
  CardAnswer answer;
  AppendLe24(answer.data, static_cast<uint32_t>(picc_.FreeMemory()));
  return answer;
}

}  // namespace kovra_sim
