// The file-level commands of a selected application: CreateStdDataFile (CD), GetFileIDs (6F) and
// GetFileSettings (F5). All three answer 0x9D at card level (no files live there).
//
// CreateStdDataFile needs the application master key unless the application's key settings allow
// free create (bit 2); GetFileIDs and GetFileSettings need it unless they allow free listing
// (bit 1). Missing authentication: 0xAE.
#include "sim/desfire/desfire_card.h"
#include "sim/desfire/le_bytes.h"

namespace kovra_sim {

using namespace desfire_status;

namespace {

constexpr uint8_t kStandardDataFile = 0x00;

}  // namespace

// CD, file number (0..31), [ISO file ID (2), only in an application with ISO file IDs],
// communication settings (0..3), access rights (2), size (3). A duplicate number or ISO ID
// answers 0xDE, a size of 0 or a bad number or setting 0x9E, a full card 0x0E.
DesfireCard::CardAnswer DesfireCard::CreateStdDataFile(const Bytes &frame) {
  DesfireApplication *application = Selected();
  if (!application) return Error(kPermissionDenied);
  const bool with_iso = frame.size() == 10 && application->UsesIsoFileIds();
  if (frame.size() != 8 && !with_iso) return Error(kLengthError);
  if (!(application->key_settings & kSettingFreeCreateDelete) && !MasterKeyAuthenticated()) {
    return Error(kAuthenticationError);
  }
  DesfireFile file;
  file.number = frame[1];
  size_t at = 2;
  if (with_iso) {
    file.iso_file_id = Le16(frame, at);
    at += 2;
  }
  file.comm_settings = frame[at];
  file.access_rights = Le16(frame, at + 1);
  const uint32_t size = Le24(frame, at + 3);
  if (file.number >= DesfireApplication::kMaxFiles || file.comm_settings > 3 || size == 0) {
    return Error(kParameterError);
  }
  for (const DesfireFile &other : application->files) {
    if (other.number == file.number) return Error(kDuplicateError);
    if (file.iso_file_id && other.iso_file_id == file.iso_file_id) return Error(kDuplicateError);
  }
  if (picc_.FreeMemory() < DesfirePicc::FileCost(size)) return Error(kOutOfMemory);
  file.data.assign(size, 0x00);
  application->files.push_back(std::move(file));
  return CardAnswer{};
}

// The file numbers in the order the files were created.
DesfireCard::CardAnswer DesfireCard::GetFileIds(const Bytes &frame) {
  if (frame.size() != 1) return Error(kLengthError);
  const DesfireApplication *application = Selected();
  if (!application) return Error(kPermissionDenied);
  if (!(application->key_settings & kSettingFreeDirectoryList) && !MasterKeyAuthenticated()) {
    return Error(kAuthenticationError);
  }
  CardAnswer answer;
  for (const DesfireFile &file : application->files) answer.data.push_back(file.number);
  return answer;
}

// Answer: file type 00, communication settings (as created), access rights (2), size (3).
DesfireCard::CardAnswer DesfireCard::GetFileSettings(const Bytes &frame) {
  if (frame.size() != 2) return Error(kLengthError);
  const DesfireApplication *application = Selected();
  if (!application) return Error(kPermissionDenied);
  if (!(application->key_settings & kSettingFreeDirectoryList) && !MasterKeyAuthenticated()) {
    return Error(kAuthenticationError);
  }
  const DesfireFile *file = application->File(frame[1]);
  if (!file) return Error(kFileNotFound);
  CardAnswer answer;
  answer.data = {kStandardDataFile, file->comm_settings, static_cast<uint8_t>(file->access_rights),
                 static_cast<uint8_t>(file->access_rights >> 8)};
  AppendLe24(answer.data, static_cast<uint32_t>(file->data.size()));
  return answer;
}

}  // namespace kovra_sim
