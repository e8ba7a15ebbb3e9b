#include "sim/link_model.h"

#include <chrono>

namespace kovra_sim {

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

}  // namespace kovra_sim
