// The reader's exchange with an ISO 14443-4 card.
#include "reader/exchange.h"

#include "kovra.h"
#include "reader/answer_copy.h"

namespace kovra {
namespace {

constexpr uint8_t kExchangeCommand = 0x45;
constexpr uint8_t kNextPartCommand = 0x46;
// A reader that keeps announcing more data would hold the caller forever; no card answer comes
// near this many parts (255 parts of 255 bytes).
constexpr int kMaxParts = 255;

}  // namespace

bool Exchange(CKOVRA_Port &port, const uint8_t *block, size_t length, CMyByteArray &answer) {
  answer.RemoveAll();
  CMyByteArray part;
  if (!port.Command(kExchangeCommand, block, length, part)) return false;
  answer.Append(part);
  for (int parts = 1; port.LastError() == KOVRA_ERR_MORE_DATA; ++parts) {
    if (parts >= kMaxParts) {
      port.SetLastError(KOVRA_ERR_DATA_AMOUNT);  // the answer never ended
      return false;
    }
    if (!port.Command(kNextPartCommand, nullptr, 0, part)) return false;
    answer.Append(part);
  }
  return true;
}

int Exchange(CKOVRA_Port &port, const uint8_t *block, size_t length, uint8_t *buffer, int size) {
  CMyByteArray answer;
  if (!Exchange(port, block, length, answer)) return -1;
  return CopyAnswer(port, answer, buffer, size);
}

}  // namespace kovra
