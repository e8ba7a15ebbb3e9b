// The reader's frames in its four protocol families.
#include "reader/frame.h"

#include "kovra.h"

namespace kovra::frame {

namespace {

bool IsBlockOpeningCommand(uint8_t second_data_byte) {
  return second_data_byte == 0x21 || second_data_byte == 0x22 || second_data_byte == 0x27 ||
         second_data_byte == 0x29;
}

size_t LengthByteIndex(int family) {
  return family == 0 ? 3 : 2;
}

// Status bytes of families 2 and 3 that report an error, and the code each becomes.
int Family23StatusError(uint8_t status) {
  switch (status) {
    case 0xA0:
      return 24;  // "Communication aborted, Device does not accept this command"
    case 0xA4:
      return KOVRA_ERR_DATA_AMOUNT;
    case 0x88:
      return 17;  // a reader code without a text
    case 0xCC:
      return 23;  // "Collision error"
    case 0xC4:
    case 0xC5:
      return KOVRA_ERR_NO_TRANSPONDER;
    default:
      return 0;
  }
}

int Family0StatusError(uint8_t status) {
  switch (status) {
    case 3:
    case 25:
      return 23;  // "Collision error"
    case 7:
      return 44;  // "ISO Error Framing"
    default:
      return status;
  }
}

}  // namespace

uint8_t Bcc(const uint8_t *bytes, size_t count) {
  uint8_t bcc = 0;
  for (size_t i = 0; i < count; ++i) bcc ^= bytes[i];
  return bcc;
}

uint16_t Crc16Modbus(const uint8_t *bytes, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

void TranslateCommand(int family, CMyByteArray &command) {
  if ((family != 2 && family != 3) || command.IsEmpty()) return;
  const bool f2 = family == 2;
  const size_t data_count = command.GetSize() - 1;
  switch (command[0]) {
    case 0x20: {
      // The reader wants to be told up front whether a block operation follows. A command without
      // a second data byte counts as not opening one.
      const bool opens_block = data_count >= 2 && IsBlockOpeningCommand(command[2]);
      command[0] = f2 ? 0x28 : 0x21;
      command.InsertAt(1, f2 ? (opens_block ? 1 : 0) : (opens_block ? 8 : 4));
      break;
    }
    case 0x21:
      command[0] = 0x29;
      break;
    case 0xF0:
      command[0] = f2 ? 0x0B : 0x60;
      break;
    case 0xF5: {
      // The field parameter becomes part of the code: 0x0D switches off, 0x0C on. A missing
      // parameter counts as off.
      const bool on = data_count >= 1 && command[1] != 0;
      command[0] = on ? 0x0C : 0x0D;
      if (data_count >= 1) command.RemoveAt(1);
      break;
    }
    case 0xF6:
    case 0xF7:
      command[0] = 0x07;
      break;
    case 0xF9:
    case 0xFA:
      if (f2) command[0] = 0x0E;
      break;
    case 0xFF:
      if (f2) command[0] = 0x0F;
      break;
    default:
      break;
  }
}

BuiltFrame BuildFrame(int family, uint8_t address, CMyByteArray &command) {
  if (command.IsEmpty()) return {KOVRA_ERR_NO_DATA, 0};
  CMyByteArray frame = command;
  TranslateCommand(family, frame);
  const size_t data_count = frame.GetSize() - 1;
  if (data_count > kMaxDataLength) return {KOVRA_ERR_WRONG_PARAMETER, 0};
  const uint8_t echo = frame[0];
  frame.InsertAt(1, static_cast<uint8_t>(data_count));
  switch (family) {
    case 0:
      frame.InsertAt(0, address);
      frame.InsertAt(0, kStartByteFamily0);
      frame.Add(Bcc(frame.GetData() + 1, frame.GetSize() - 1));
      break;
    case 1: {
      frame.InsertAt(0, address);
      const uint16_t crc = Crc16Modbus(frame.GetData(), frame.GetSize());
      frame.Add(static_cast<uint8_t>(crc & 0xFF));
      frame.Add(static_cast<uint8_t>(crc >> 8));
      break;
    }
    default:
      frame.InsertAt(0, kStartByteFamily23);
      break;
  }
  command = std::move(frame);
  return {0, echo};
}

size_t HeaderLength(int family) {
  return family == 0 ? 4 : 3;
}

size_t TrailerLength(int family) {
  if (family == 0) return 1;
  if (family == 1) return 2;
  return 0;
}

size_t LeadingGarbage(int family, const uint8_t *bytes, size_t count) {
  if (family == 1) return 0;
  const uint8_t start = family == 0 ? kStartByteFamily0 : kStartByteFamily23;
  size_t skip = 0;
  while (skip < count && bytes[skip] != start) ++skip;
  return skip;
}

std::optional<size_t> CompleteLength(int family, const uint8_t *bytes, size_t count) {
  const size_t header = HeaderLength(family);
  if (count < header) return std::nullopt;
  const uint8_t length = bytes[LengthByteIndex(family)];
  const size_t trailer = TrailerLength(family);
  if (length != kBlockChain) {
    const size_t total = header + length + trailer;
    if (count >= total) return total;
    return std::nullopt;
  }
  // Walk the block chain; every step moves on by at least one byte, so the walk ends.
  size_t pos = header;
  while (pos < count) {
    const uint8_t block = bytes[pos];
    if (block == kBlockChain) {
      const size_t total = pos + 1 + trailer;
      if (count >= total) return total;
      return std::nullopt;
    }
    pos += static_cast<size_t>(block) + 1;
  }
  return std::nullopt;
}

ParseResult ParseReply(int family, uint8_t echo, const uint8_t *bytes, size_t count,
                       CMyByteArray &data) {
  data.RemoveAll();
  if (count == 0) return {false, KOVRA_ERR_EMPTY_REPLY};
  const size_t header = HeaderLength(family);
  const size_t trailer = TrailerLength(family);
  if (count < header + trailer) return {false, KOVRA_ERR_WRONG_LENGTH};
  const bool chain = bytes[LengthByteIndex(family)] == kBlockChain;
  const size_t closing = chain ? 1 : 0;
  if (count < header + closing + trailer) return {false, KOVRA_ERR_WRONG_LENGTH};

  int stored = 0;
  switch (family) {
    case 0: {
      if (Bcc(bytes + 1, count - 2) != bytes[count - 1]) return {false, KOVRA_ERR_CHECKSUM};
      const uint8_t status = bytes[2];
      if (status == 0x20) {
        stored = KOVRA_ERR_MORE_DATA;  // success, and the reader holds more data to fetch
      } else if (status != 0) {
        return {false, Family0StatusError(status)};
      }
      break;
    }
    case 1: {
      const uint16_t crc = Crc16Modbus(bytes, count - 2);
      if (bytes[count - 2] != (crc & 0xFF) || bytes[count - 1] != (crc >> 8)) {
        return {false, KOVRA_ERR_CHECKSUM};
      }
      if (bytes[1] != 0) return {false, bytes[1]};
      break;
    }
    default: {
      const uint8_t status = bytes[1];
      if (const int error = Family23StatusError(status)) return {false, error};
      if (status != echo) return {false, 16};  // "Command error": the answer is to another command
      break;
    }
  }
  data.Append(bytes + header, count - header - closing - trailer);
  return {true, stored};
}

}  // namespace kovra::frame
