// What a PC/SC reader hands back: a card's ATR, the answer to the UID command, a wrapped DESFire
// answer and the daemon's reader list. The first byte picks the parser, the rest is its input.
// Each must end, and what it accepts must keep its promises: an ISO 14443-4 card has SAK 0x20
// and an ATS one longer than its historical bytes plus one; a UID is 4 to 10 bytes; a native
// answer is one byte shorter than the wrapped one; no reader name is empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transport/pcsc/pcsc_card.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const uint8_t *input = data + 1;
  const size_t length = size - 1;
  using namespace kovra::pcsc;
  switch (data[0] % 4) {
    case 0: {
      const ActivatedCard card = ReadContactlessAtr(input, length);
      if (card.kind == CardKind::kIso14443_4 && card.sak != 0x20) std::abort();
      if (card.kind != CardKind::kUnrecognised && card.historical.size() > 15) std::abort();
      if (AtsOf(card).size() != card.historical.size() + 2) std::abort();
      break;
    }
    case 1: {
      const auto uid = UidOfAnswer(input, length);
      if (uid && (uid->size() < 4 || uid->size() > 10)) std::abort();
      break;
    }
    case 2: {
      const NativeAnswer answer = UnwrapNativeAnswer(input, length);
      if (answer.ok && answer.answer.size() + 1 != length) std::abort();
      if (!answer.ok && answer.error == 0) std::abort();
      const auto wrapped = WrapNativeCommand(input, length);
      if (wrapped && wrapped->size() != (length > 1 ? length + 5 : 5)) std::abort();
      break;
    }
    default:
      for (const auto &name : SplitReaderList(reinterpret_cast<const char *>(input), length)) {
        if (name.empty()) std::abort();
      }
      break;
  }
  return 0;
}
