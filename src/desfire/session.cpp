// The DESFire session of a port: the selected application, the authenticated key and the crypto
// context.
#include "desfire/session.h"

#include <memory>

#include "desfire/cmac.h"
#include "desfire/crc32.h"
#include "kovra.h"
#include "reader/port.h"

namespace kovra::desfire {

void CDatenFuerDesfireInPort::ResetAuthentication() {
  auth_state = kNotAuthenticated;
  auth_key_no = kNoKey;
  crypt.Init(CipherNone);
}

void CDatenFuerDesfireInPort::Reset() {
  selected_aid = 0;
  ResetAuthentication();
}

CDatenFuerDesfireInPort &SessionOf(CKOVRA_Port &port) {
  if (auto *session = dynamic_cast<CDatenFuerDesfireInPort *>(port.GetCardSession())) {
    return *session;
  }
  auto created = std::make_unique<CDatenFuerDesfireInPort>();
  CDatenFuerDesfireInPort &session = *created;
  port.SetCardSession(std::move(created));
  return session;
}

const CDatenFuerDesfireInPort *FindSession(const CKOVRA_Port &port) {
  return dynamic_cast<const CDatenFuerDesfireInPort *>(port.GetCardSession());
}

void ResetAuthentication(CKOVRA_Port &port) {
  SessionOf(port).ResetAuthentication();
}

void ResetSession(CKOVRA_Port &port) {
  SessionOf(port).Reset();
}

bool IsAuthenticated(CKOVRA_Port &port) {
  return GetAuthState(port) != kNotAuthenticated;
}

uint8_t GetAuthState(CKOVRA_Port &port) {
  const CDatenFuerDesfireInPort *session = FindSession(port);
  return session != nullptr ? session->auth_state : kNotAuthenticated;
}

uint32_t GetSelectedAid(CKOVRA_Port &port) {
  const CDatenFuerDesfireInPort *session = FindSession(port);
  return session != nullptr ? session->selected_aid : 0;
}

size_t GetMacLength(CKOVRA_Port &port) {
  const uint8_t state = GetAuthState(port);
  return state == kIsoAuthenticated || state == kAesAuthenticated ? kMacLength : 0;
}

void MacCommand(CKOVRA_Port &port, const uint8_t *command, size_t length, uint8_t *mac) {
  if (!IsAuthenticated(port)) return;
  ComputeCmac(SessionOf(port).crypt, false, command, length, mac);
}

bool VerifyResponseMac(CKOVRA_Port &port, const uint8_t *answer, size_t length) {
  if (GetMacLength(port) == 0) return true;
  if (answer != nullptr && VerifyTrailingMac(SessionOf(port).crypt, answer, length)) return true;
  port.SetLastError(KOVRA_DESFIRE_ERR_MAC);
  ResetSession(port);
  return false;
}

void DecipherResponse(CKOVRA_Port &port, uint8_t *bytes, size_t length) {
  if (!IsAuthenticated(port)) return;
  DF8Crypt &crypt = SessionOf(port).crypt;
  crypt.Decipher(crypt.SessionKey(), bytes, bytes, length);
}

size_t EncipherData(CKOVRA_Port &port, CMyByteArray &bytes) {
  if (!IsAuthenticated(port) || bytes.IsEmpty()) return bytes.GetSize();
  DF8Crypt &crypt = SessionOf(port).crypt;
  const size_t block = crypt.BlockSize();
  const size_t length = bytes.GetSize();
  bytes.SetSize((length + block - 1) / block * block);  // room for the zero padding
  size_t padded = length;
  crypt.Encipher(crypt.CipherType(), crypt.SessionKey(), bytes.GetData(), bytes.GetData(), length,
                 &padded);
  bytes.SetSize(padded);
  return padded;
}

size_t GetDataLength(CKOVRA_Port &port, const uint8_t *received, size_t count, int mode) {
  if (!IsAuthenticated(port)) return count;
  if (mode != kModeEnciphered) return count >= kMacLength ? count - kMacLength : 0;
  return EncipheredPayloadLength(received, count, SessionOf(port).crypt.BlockSize()).value_or(0);
}

std::optional<size_t> EncipheredPayloadLength(const uint8_t *received, size_t count, size_t block) {
  // A card pads with zeros (some with 0x80 and zeros), so the padding alone does not tell where
  // the payload ends. The end is where the CRC over payload and status 0x00 matches the four
  // bytes that follow and only padding comes after them; the padding is shorter than a block.
  for (size_t padding = 0; padding < block && padding + 4 <= count; ++padding) {
    const size_t payload = count - 4 - padding;
    const uint8_t *tail = received + payload + 4;
    bool only_padding = true;
    for (size_t i = 0; i < padding; ++i) {
      only_padding &= tail[i] == 0x00 || (i == 0 && tail[i] == 0x80);
    }
    if (!only_padding) continue;
    CMyByteArray covered(received, payload);
    covered.Add(0x00);  // the CRC covers the payload followed by the status byte
    const uint32_t crc = Crc32(covered.GetData(), covered.GetSize());
    const uint32_t sent = static_cast<uint32_t>(received[payload]) |
                          (static_cast<uint32_t>(received[payload + 1]) << 8) |
                          (static_cast<uint32_t>(received[payload + 2]) << 16) |
                          (static_cast<uint32_t>(received[payload + 3]) << 24);
    if (crc == sent) return payload;
  }
  return std::nullopt;
}

}  // namespace kovra::desfire
