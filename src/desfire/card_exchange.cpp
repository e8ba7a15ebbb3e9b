// How a DESFire command reaches the card: a native frame through the reader's ISO 14443-4
// exchange, and the card's answer back.
#include "desfire/card_exchange.h"

#include "desfire/session.h"
#include "kovra.h"
#include "reader/exchange.h"

namespace kovra::desfire {

bool CardExchange(CKOVRA_Port &port, const uint8_t *frame, size_t length, size_t receive_size,
                  CMyByteArray &answer) {
  answer.RemoveAll();
  if (!Exchange(port, frame, length, answer)) return false;
  if (answer.GetSize() > receive_size) {
    port.SetLastError(KOVRA_ERR_BUFFER_SMALL);
    answer.RemoveAll();
    return false;
  }
  return !answer.IsEmpty();
}

bool FailCommand(CKOVRA_Port &port, const CMyByteArray &answer) {
  ResetAuthentication(port);
  if (!answer.IsEmpty()) port.SetLastError(KOVRA_DESFIRE_BASE + answer[0]);
  return false;
}

void Append24(CMyByteArray &frame, uint32_t value) {
  for (int shift = 0; shift < 24; shift += 8) frame.Add(static_cast<uint8_t>(value >> shift));
}

}  // namespace kovra::desfire
