// ReadData (BD) and WriteData (3D) on a standard data file of the selected application, in the
// communication mode of data_access.h.
//
// ReadData: BD, file, offset (3), length (3; 0 = to the end of the file). The answer data, cut
// into frames of 59 bytes, are
//   plain, not authenticated:   the file bytes
//   plain or MAC, in a session: the file bytes || MAC over (file bytes || 00)
//   enciphered:                 E(file bytes || CRC32(file bytes || 00) || 00..), zero-padded
//                               to the block size
// WriteData: 3D, file, offset (3), length (3), then the data stream over as many frames as it
// takes (52 bytes in the first, up to 59 behind each AF):
//   plain:       the bytes
//   MAC:         the bytes || MAC over (3D || header || bytes); a wrong MAC gives 0x1E
//   enciphered:  E(bytes || CRC32(3D || header || bytes) || 00..), zero-padded to the block
//                size; a wrong CRC or padding gives 0x1E
// A stream longer than its mode allows answers 0x7E; nothing is written before the whole
// stream has arrived and checked out. A length of 0 answers 0x7E, a range beyond the file 0xBE.
// The access check comes before the range check, so a protected file does not tell its size.
#include "sim/desfire/data_access.h"
#include "sim/desfire/desfire_card.h"
#include "sim/desfire/le_bytes.h"

namespace kovra_sim {

using namespace desfire_status;

namespace {

constexpr size_t kDataHeader = 8;  // command byte, file, offset, length

uint32_t Le32(const Bytes &bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

bool InFile(uint32_t offset, uint32_t length, size_t size) {
  return offset < size && length <= size - offset;
}

}  // namespace

DesfireCard::CardAnswer DesfireCard::ReadData(const Bytes &frame) {
  if (frame.size() != kDataHeader) return Error(kLengthError);
  const DesfireApplication *application = Selected();
  if (!application) return Error(kPermissionDenied);
  const DesfireFile *file = application->File(frame[1]);
  if (!file) return Error(kFileNotFound);
  const DataAccess access = DecideDataAccess(file->ReadKey(), file->ReadWriteKey(),
                                             AuthenticatedKey(), file->comm_settings);
  if (access.status != 0) return Error(access.status);
  const uint32_t offset = Le24(frame, 2);
  uint32_t length = Le24(frame, 5);
  if (length == 0 && offset < file->data.size()) {
    length = static_cast<uint32_t>(file->data.size() - offset);
  }
  if (!InFile(offset, length, file->data.size())) return Error(kBoundaryError);

  const auto begin = file->data.begin() + offset;
  Bytes data(begin, begin + length);
  if (access.mode != kCommEnciphered) return CardAnswer{kOk, std::move(data), true, {}};

  Bytes checked = data;
  checked.push_back(kOk);
  const Bytes crc = Crc32Bytes(DesfireCrc32(checked));
  data.insert(data.end(), crc.begin(), crc.end());
  // Real cards fill the last block with zero bytes (no 0x80 marker), so a host has to find the
  // end of the data by its CRC.
  while (data.size() % session_->channel.BlockSize() != 0) data.push_back(0x00);
  return CardAnswer{kOk, session_->channel.Encipher(data), false, {}};
}

DesfireCard::CardAnswer DesfireCard::WriteData(const Bytes &frame) {
  if (frame.size() < kDataHeader) return Error(kLengthError);
  const DesfireApplication *application = Selected();
  if (!application) return Error(kPermissionDenied);
  const DesfireFile *file = application->File(frame[1]);
  if (!file) return Error(kFileNotFound);
  const DataAccess access = DecideDataAccess(file->WriteKey(), file->ReadWriteKey(),
                                             AuthenticatedKey(), file->comm_settings);
  if (access.status != 0) return Error(access.status);
  const uint32_t offset = Le24(frame, 2);
  const uint32_t length = Le24(frame, 5);
  if (length == 0) return Error(kLengthError);
  if (!InFile(offset, length, file->data.size())) return Error(kBoundaryError);

  size_t expected = length;
  if (access.mode == kCommMac) expected += SecureChannel::kMacLength;
  if (access.mode == kCommEnciphered) {
    const size_t block = session_->channel.BlockSize();
    expected = (length + 4 + block - 1) / block * block;
  }
  PendingWrite write{application->aid, file->number,
                     offset,           length,
                     access.mode,      Bytes(frame.begin(), frame.begin() + kDataHeader),
                     expected,         {}};
  return ContinueWrite(std::move(write), frame.data() + kDataHeader, frame.size() - kDataHeader);
}

DesfireCard::CardAnswer DesfireCard::ContinueWrite(PendingWrite write, const uint8_t *data,
                                                   size_t count) {
  if (count > write.expected - write.stream.size()) return Error(kLengthError);
  write.stream.insert(write.stream.end(), data, data + count);
  if (write.stream.size() < write.expected) {
    pending_ = std::move(write);
    return CardAnswer{kAdditionalFrame, {}, false, {}};
  }
  return CompleteWrite(write);
}

DesfireCard::CardAnswer DesfireCard::CompleteWrite(const PendingWrite &write) {
  Bytes command = write.header;
  Bytes data;
  switch (write.mode) {
    case kCommMac: {
      data.assign(write.stream.begin(), write.stream.begin() + write.length);
      command.insert(command.end(), data.begin(), data.end());
      const Bytes mac(write.stream.begin() + write.length, write.stream.end());
      if (session_->channel.Mac(command) != mac) return Error(kIntegrityError);
      break;
    }
    case kCommEnciphered: {
      const Bytes plain = session_->channel.Decipher(write.stream);
      data.assign(plain.begin(), plain.begin() + write.length);
      command.insert(command.end(), data.begin(), data.end());
      if (Le32(plain, write.length) != DesfireCrc32(command)) return Error(kIntegrityError);
      for (size_t i = write.length + 4; i < plain.size(); ++i) {
        if (plain[i] != 0) return Error(kIntegrityError);
      }
      break;
    }
    default:
      data = write.stream;
      command.insert(command.end(), data.begin(), data.end());
      if (session_) session_->channel.Mac(command);
      break;
  }
  DesfireFile *file = picc_.Application(write.aid)->File(write.file);
  std::copy(data.begin(), data.end(), file->data.begin() + write.offset);
  return CardAnswer{};
}

}  // namespace kovra_sim
