#include "desfire/session.h"

#include "desfire/cmac.h"
#include "reader/port.h"

namespace kovra::desfire {

CDatenFuerDesfireInPort &SessionOf(CKOVRA_Port &port) {
  return port.DesfireSession();
}

void ResetAuthentication(CKOVRA_Port &port) {
  CDatenFuerDesfireInPort &session = SessionOf(port);
  session.auth_state = kNotAuthenticated;
  session.auth_key_no = kNoKey;
  session.crypt.Init(CipherNone);
}

void ResetSession(CKOVRA_Port &port) {
  SessionOf(port).selected_aid = 0;
  ResetAuthentication(port);
}

bool IsAuthenticated(CKOVRA_Port &port) {
  return GetAuthState(port) != kNotAuthenticated;
}

uint8_t GetAuthState(CKOVRA_Port &port) {
  return port.HasDesfireSession() ? port.DesfireSession().auth_state : kNotAuthenticated;
}

uint32_t GetSelectedAid(CKOVRA_Port &port) {
  return port.HasDesfireSession() ? port.DesfireSession().selected_aid : 0;
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
  if (GetMacLength(port) == 0 || length <= 1) return true;
  if (VerifyTrailingMac(SessionOf(port).crypt, answer, length)) return true;
  port.SetLastError(kErrMac);
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
  size_t i = count;
  while (i > 0 && received[i - 1] == 0x00) --i;
  if (i == 0 || received[i - 1] != 0x80) return 0;
  const size_t marker = i - 1;
  return marker >= 4 ? marker - 4 : 0;
}

}  // namespace kovra::desfire
