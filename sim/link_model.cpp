// The serial line between host and reader as the simulator sees it.
#include "sim/link_model.h"

#include <algorithm>
#include <chrono>

namespace kovra_sim {
namespace {

constexpr uint8_t kAdditionalFrame = 0xAF;

CardCommandTime Times(uint8_t code, long first_us, long continuation_us) {
  return {code, std::chrono::microseconds(first_us), std::chrono::microseconds(continuation_us)};
}

}  // namespace

std::vector<CardCommandTime> TypicalCardTimes() {
  return {
      // Authentication: the card enciphers its challenge, then checks the host's answer and
      // enciphers its own (the 0xAF step does the most work).
      Times(0x0A, 2500, 3000),  // authenticate (DES)
      Times(0x1A, 2500, 3000),  // authenticate ISO
      Times(0xAA, 2500, 3000),  // authenticate AES
      // Commands that change the EEPROM.
      Times(0xC4, 7000, 7000),      // change key
      Times(0xCA, 10000, 10000),    // create application
      Times(0xDA, 10000, 10000),    // delete application
      Times(0xCD, 7000, 7000),      // create standard data file
      Times(0x3D, 5000, 5000),      // write data, per frame
      Times(0xFC, 100000, 100000),  // format the card
      // Selects and reads.
      Times(0x5A, 1000, 1000),  // select application
      Times(0x60, 1000, 1000),  // get version (three frames)
      Times(0x6A, 1000, 1000),  // application IDs
      Times(0x6E, 1000, 1000),  // free memory
      Times(0x6F, 1000, 1000),  // file IDs
      Times(0x45, 1000, 1000),  // key settings
      Times(0x64, 1000, 1000),  // key version
      Times(0xF5, 1000, 1000),  // file settings
      Times(0xBD, 1500, 1000),  // read data: the first frame, then each further one
  };
}

SimClock::duration LinkDelay(const LinkModel &model, std::optional<unsigned> line_baud,
                             size_t command_bytes, size_t reply_bytes, bool exchange) {
  unsigned baud = model.baud;
  if (baud == 0) baud = line_baud && *line_baud != 0 ? *line_baud : LinkModel::kDefaultBaud;
  // One start bit, eight data bits, one stop bit per byte.
  const auto bits = static_cast<long long>((command_bytes + reply_bytes) * 10);
  const std::chrono::microseconds on_the_line(bits * 1000000LL / baud);
  SimClock::duration delay = std::chrono::duration_cast<SimClock::duration>(on_the_line);
  if (exchange) delay += model.per_exchange;
  return delay;
}

SimClock::duration ExchangeTime(const LinkModel &model, const Bytes &block,
                                std::optional<uint8_t> continued) {
  if (block.empty()) return model.per_exchange;
  const bool continuation = block[0] == kAdditionalFrame;
  if (continuation && !continued) return model.per_exchange;
  const uint8_t code = continuation ? *continued : block[0];
  const auto found =
      std::find_if(model.card_times.begin(), model.card_times.end(),
                   [code](const CardCommandTime &time) { return time.code == code; });
  if (found == model.card_times.end()) return model.per_exchange;
  return continuation ? found->continuation : found->first;
}

}  // namespace kovra_sim
