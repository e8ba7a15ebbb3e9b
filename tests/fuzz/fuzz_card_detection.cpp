// The reader's answers during card activation as the writer meets them: the ATQA of the request,
// SAK and UID of the select, the ATS of the RATS, the PPS and the presence check; any bytes and
// any status, in any of the four families. Card detection must never crash or read past an
// answer, and a card it reports ready has a UID of 1 to 10 bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "fuzz_replies.h"
#include "kovra.h"
#include "sim/reader.h"
#include "support/sim_transport.h"
#include "writer/cards/card_detection.h"
#include "writer/cards/writer_context.h"

namespace {

bool CardLooksReady(const quillmate::CardMemory &cards, bool detected) {
  if (detected && cards.same_card) return false;
  return !detected || (!cards.current_uid.isEmpty() && cards.current_uid.size() <= 10);
}

}  // namespace

// The first byte: bits 0-1 the family, bit 2 a cyclic first call, bit 3 a second, cyclic call
// after the card counts as processed, bits 4-7 the time that passes between the calls (x 200 ms).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const int family = flags & 3;
  kovra_fuzz::FuzzReplies replies(data + 1, size - 1, kovra_sim::ReplyStatus::kNoCard);

  kovra_sim::SimReaderConfig config;
  config.family = family;
  config.uid_seed = 1;
  kovra_sim::SimReader reader(config);
  reader.WithFirmware([&](kovra_sim::Firmware &firmware) {
    for (const uint8_t code : {0x30, 0x31, 0x40, 0x41, 0x42, 0x45, 0x46, 0xF5}) {
      firmware.SetHandler(code, [&](const kovra_sim::FirmwareCommand &) { return replies.Next(); });
    }
  });
  kovra_test::SimPortOptions options;
  options.add_to_app = true;
  const auto port = kovra_test::MakeSimPort(reader, family, options);

  // No front end: status lines and lamps go nowhere.
  quint64 now_ms = 100000;
  quillmate::WriterContext context;
  context.handle = port->Handle();
  context.tick_ms = [&now_ms] { return now_ms; };
  context.sleep_ms = [](int) {};

  bool detected = quillmate::DetectCard(context, (flags & 4) != 0);
  if (!CardLooksReady(context.cards, detected)) std::abort();
  if (flags & 8) {
    context.cards.last_uid = context.cards.current_uid;
    now_ms += 200u * (flags >> 4);
    detected = quillmate::DetectCard(context, true);
    if (!CardLooksReady(context.cards, detected)) std::abort();
  }
  kovra_test::RemoveSimPort(port);
  return 0;
}
