// The serial line between host and reader as the simulator sees it: the settings a host chose for
// it (read back from a pseudo-terminal), and an optional model of how long a round trip takes on a
// real line with a real card behind the reader, for benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

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

// How long the card needs for one frame of a command, by the command's code (the first byte of
// the block the reader exchanges with it): air time and the card's own work together.
struct CardCommandTime {
  uint8_t code = 0;
  SimClock::duration first{0};         // the frame that starts the command
  SimClock::duration continuation{0};  // each 0xAF frame the host sends to go on with it
};

// Adds to each reply the time a real line would need: (command bytes + reply bytes) x 10 bits at
// the baud rate, plus, for each exchange with the card (command 0x45), the card's time: from
// `card_times` when it names the command, else `per_exchange`.
struct LinkModel {
  unsigned baud = 0;  // 0: the line's rate (SimReader::SetLineSettings), or kDefaultBaud
  SimClock::duration per_exchange{0};
  std::vector<CardCommandTime> card_times;  // empty: per_exchange for every exchange

  static constexpr unsigned kDefaultBaud = 19200;
};

// Typical times of a DESFire EV1 card for the commands the simulated card knows. They are round
// figures of the order such a card needs (several milliseconds for anything that writes its
// EEPROM, since it writes with tearing protection; a few for the ciphers of an authentication
// step; about one for a select or a short read, mostly air time), so that a benchmark sees a
// realistic share of line, card and host time. They do not reproduce a particular chip.
std::vector<CardCommandTime> TypicalCardTimes();

// The time the model adds to one reply: the line time of both frames, plus `per_exchange` when
// `exchange` is set. `line_baud` is the rate the host set on the line, if any.
SimClock::duration LinkDelay(const LinkModel &model, std::optional<unsigned> line_baud,
                             size_t command_bytes, size_t reply_bytes, bool exchange);

// The card's time for one exchange carrying `block`. A block that starts with 0xAF continues
// `continued`, the code of the last block that did not (nothing: not known). Codes the model's
// card times do not name, and an empty block, take `per_exchange`.
SimClock::duration ExchangeTime(const LinkModel &model, const Bytes &block,
                                std::optional<uint8_t> continued);

}  // namespace kovra_sim
