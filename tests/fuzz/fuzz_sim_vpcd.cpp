// What vsmartcard's virtual reader driver sends the simulator's vpcd card: any bytes, in any
// pieces. The framing must cut them into messages or refuse the stream, never hold more than one
// message, and every message must get the answer the protocol asks for from the contactless
// slot: an ATR for the ATR request, a response APDU of at least the two status bytes for an
// APDU, through to the DESFire card behind it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sim/contactless_slot.h"
#include "sim/field.h"
#include "sim/vpcd_framing.h"

// The first byte: bits 0-2 the card in the field (0..4 a kind, otherwise none); the rest of the
// input is the driver's stream, cut in two where the second byte says.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  kovra_sim::Field field({}, 1);
  const unsigned kind = data[0] & 7;
  if (kind <= 4) {
    field.PlaceNew(static_cast<kovra_sim::CardKind>(kind),
                   kovra_sim::Bytes{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
  }
  const uint8_t *stream = data + 2;
  const size_t length = size - 2;
  const size_t cut = length == 0 ? 0 : data[1] % (length + 1);

  kovra_sim::VpcdFramer framer;
  const auto take = [&](const uint8_t *bytes, size_t count) {
    const bool sound = framer.Feed(bytes, count);
    if (sound != framer.Error().empty()) std::abort();
    while (const auto message = framer.Next()) {
      if (message->control) {
        if (*message->control == kovra_sim::VpcdControl::kGetAtr && field.Present()) {
          const kovra_sim::Bytes atr = kovra_sim::ContactlessAtr(*field.Present());
          if (atr.size() < 4 || atr.size() > 33 || atr[0] != 0x3B) std::abort();
        } else if (*message->control != kovra_sim::VpcdControl::kPowerOff) {
          kovra_sim::ActivateContactlessCard(field);
        }
        continue;
      }
      if (message->apdu.size() < 2 || message->apdu.size() > kovra_sim::VpcdFramer::kMaxMessage) {
        std::abort();
      }
      const kovra_sim::Bytes response = kovra_sim::AnswerContactlessApdu(field, message->apdu);
      if (response.size() < 2 || response.size() > 0xFFFF) std::abort();
      if (kovra_sim::EncodeVpcdMessage(response).size() != response.size() + 2) std::abort();
    }
    // What is left is one unfinished message at most: its header and less than its length.
    if (framer.Buffered() > 1 + kovra_sim::VpcdFramer::kMaxMessage) std::abort();
  };
  take(stream, cut);
  take(stream + cut, length - cut);
  return 0;
}
