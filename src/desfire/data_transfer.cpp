// ReadData and WriteData: data in chunks of at most 7600 bytes per command, each chunk carried by
// as many frames as the card needs, secured by the communication mode.
#include <algorithm>
#include <cstring>

#include "desfire/card_exchange.h"
#include "desfire/cmac.h"
#include "desfire/commands.h"
#include "desfire/crc32.h"
#include "desfire/session.h"
#include "kovra.h"

namespace kovra::desfire {
namespace {

constexpr uint32_t kMaxChunk = 7600;
constexpr size_t kFrameReceiveSize = 100;
constexpr size_t kFirstWriteFrameData = 52;
constexpr size_t kNextWriteFrameData = 59;

CMyByteArray Header(uint8_t command, int file_no, uint32_t offset, uint32_t length) {
  CMyByteArray header;
  header.Add(command);
  header.Add(static_cast<uint8_t>(file_no));
  Append24(header, offset);
  Append24(header, length);
  return header;
}

// Reads one chunk's frames; the data bytes of every answer (status bytes dropped) go to
// collected.
bool ReadFrames(CKOVRA_Port &port, const CMyByteArray &command, CMyByteArray &collected) {
  CMyByteArray answer;
  CMyByteArray frame = command;
  for (;;) {
    if (!CardExchange(port, frame.GetData(), frame.GetSize(), kFrameReceiveSize, answer) ||
        (answer[0] != kStatusOk && answer[0] != kStatusMore)) {
      return FailCommand(port, answer);
    }
    collected.Append(answer.GetData() + 1, answer.GetSize() - 1);
    if (answer[0] == kStatusOk) return true;
    frame = CMyByteArray{kStatusMore};
  }
}

// The payload of one chunk's collected bytes, checked as the mode says; false (with the error
// set) when a check fails.
bool ChunkPayload(CKOVRA_Port &port, int mode, uint32_t chunk, CMyByteArray &collected,
                  size_t &payload) {
  if (mode == kModeEnciphered) {
    DecipherResponse(port, collected.GetData(), collected.GetSize());
    payload =
        chunk != 0 ? chunk : GetDataLength(port, collected.GetData(), collected.GetSize(), mode);
    if (collected.GetSize() < payload + 4) {
      port.SetLastError(KOVRA_DESFIRE_ERR_CRC);
      return false;
    }
    CMyByteArray covered(collected.GetData(), payload);
    covered.Add(kStatusOk);
    uint32_t received = 0;
    for (int i = 3; i >= 0; --i) received = (received << 8) | collected[payload + i];
    if (Crc32(covered.GetData(), covered.GetSize()) != received) {
      port.SetLastError(KOVRA_DESFIRE_ERR_CRC);
      return false;
    }
    return true;
  }
  if (IsAuthenticated(port)) {
    CMyByteArray answer{kStatusOk};
    answer.Append(collected);
    if (!VerifyResponseMac(port, answer.GetData(), answer.GetSize())) return false;
  }
  payload =
      chunk != 0 ? chunk : GetDataLength(port, collected.GetData(), collected.GetSize(), mode);
  return true;
}

}  // namespace

bool ReadData(CKOVRA_Port &port, int file_no, int comm_mode, uint32_t offset, uint32_t length,
              CMyByteArray &data) {
  data.RemoveAll();
  if (comm_mode == kModeEnciphered && !IsAuthenticated(port)) {
    port.SetLastError(KOVRA_DESFIRE_ERR_NOT_AUTHENTICATED);
    return false;
  }
  do {
    const uint32_t remaining = length - static_cast<uint32_t>(data.GetSize());
    const uint32_t chunk = std::min(remaining, kMaxChunk);
    const CMyByteArray command = Header(0xBD, file_no, offset, chunk);
    MacCommand(port, command.GetData(), command.GetSize());
    CMyByteArray collected;
    size_t payload = 0;
    if (!ReadFrames(port, command, collected) ||
        !ChunkPayload(port, comm_mode, chunk, collected, payload)) {
      return false;
    }
    payload = std::min(payload, collected.GetSize());
    if (chunk != 0 && payload < chunk) {
      // A card that hands out less than asked would keep this loop going; it is refused.
      port.SetLastError(KOVRA_ERR_DATA_AMOUNT);
      return false;
    }
    data.Append(collected.GetData(), payload);
    offset += static_cast<uint32_t>(payload);
  } while (data.GetSize() < length);
  return true;
}

bool WriteData(CKOVRA_Port &port, int file_no, int comm_mode, uint32_t offset, const uint8_t *data,
               size_t length) {
  if (comm_mode == kModeEnciphered && !IsAuthenticated(port)) {
    port.SetLastError(KOVRA_DESFIRE_ERR_NOT_AUTHENTICATED);
    return false;
  }
  size_t done = 0;
  do {
    const uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(length - done, kMaxChunk));
    const CMyByteArray header = Header(0x3D, file_no, offset, chunk);
    CMyByteArray prepared(data + done, chunk);
    if (comm_mode == kModeEnciphered) {
      CMyByteArray covered = header;
      covered.Append(prepared);
      AppendCrc32(prepared, Crc32(covered.GetData(), covered.GetSize()));
      EncipherData(port, prepared);
    } else {
      CMyByteArray covered = header;
      covered.Append(prepared);
      uint8_t mac[kMacLength];
      MacCommand(port, covered.GetData(), covered.GetSize(), mac);
      if (comm_mode == kModeMac && IsAuthenticated(port)) prepared.Append(mac, kMacLength);
    }

    CMyByteArray frame = header;
    size_t sent = std::min(prepared.GetSize(), kFirstWriteFrameData);
    frame.Append(prepared.GetData(), sent);
    CMyByteArray answer;
    for (;;) {
      if (!CardExchange(port, frame.GetData(), frame.GetSize(), kFrameReceiveSize, answer)) {
        return FailCommand(port, answer);
      }
      if (answer[0] == kStatusMore && sent < prepared.GetSize()) {
        const size_t next = std::min(prepared.GetSize() - sent, kNextWriteFrameData);
        frame = CMyByteArray{kStatusMore};
        frame.Append(prepared.GetData() + sent, next);
        sent += next;
        continue;
      }
      // Only status 00 ends a write. A card that still asks for more when everything is sent
      // (0xAF) has not taken the data: a failure, not a success.
      if (answer[0] != kStatusOk) return FailCommand(port, answer);
      break;
    }
    if (!VerifyResponseMac(port, answer.GetData(), answer.GetSize())) return false;
    done += chunk;
    offset += chunk;
  } while (done < length);
  return true;
}

}  // namespace kovra::desfire
