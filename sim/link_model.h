// The serial line between host and reader as the simulator sees it: the settings a host chose for
// it (read back from a pseudo-terminal), and an optional model of how long a round trip takes on a
// real line, for benchmarks.
#pragma once

#include <cstddef>
#include <optional>

#include "sim/frame_codec.h"

namespace kovra_sim {

struct LineSettings {
  unsigned baud = 0;  // 0: a rate the simulator does not know
  // PARENB. A pseudo-terminal clears it (and sets 8 data bits) whatever the host asks for, so on a
  // pty it always reads false; PARODD and the stop bits are kept as set.
  bool parity = false;
  bool parity_odd = false;  // PARODD
  int stop_bits = 1;        // 1 or 2
  int data_bits = 8;        // 5..8
};

// Adds to each reply the time a real line would need: (command bytes + reply bytes) x 10 bits at
// the baud rate, plus a fixed time for each exchange with the card (command 0x45).
struct LinkModel {
  unsigned baud = 0;  // 0: the line's rate (SimReader::SetLineSettings), or kDefaultBaud
  SimClock::duration per_exchange{0};

  static constexpr unsigned kDefaultBaud = 19200;
};

// The time the model adds to one reply. `line_baud` is the rate the host set on the line, if any.
SimClock::duration LinkDelay(const LinkModel &model, std::optional<unsigned> line_baud,
                             size_t command_bytes, size_t reply_bytes, bool exchange);

}  // namespace kovra_sim
