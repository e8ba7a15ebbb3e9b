// The whole state of a simulated reader as one line of JSON, for the control command `state`:
//
//   {"reader":{family, address, version, fv, serial, part_size, mode, usb_mode, iso_parameter,
//              pps, control, pending_parts},
//    "field":{"on", "card": null or {kind, uid, state, arrived_ms, exchanges, timing, card},
//             "cards_to_come"},
//    "history":[{kind, uid, arrived_ms, left_ms, exchanges, reason, timing, card}, ...],
//    "commands":{"total", "by_code":{"F0":n, ...}},
//    "faults":{silent, bad_checksum, remove_after (null or n), link_dropped},
//    "line": null or {baud, parity, parity_odd, stop_bits, data_bits},
//    "link_model": null or {baud, per_exchange_us, card_times},
//    "log": bool}
//
// UIDs and byte strings are uppercase hex without separators; times are milliseconds since the
// field was made; "card" inside a card entry is the card's own state (Card::StateJson).
// "timing" is {commands, first_command_us, last_reply_us, modelled_us}: the reader commands
// answered while the card lay in the field, in microseconds since the field was made.
#pragma once

#include <string>

#include "sim/reader.h"

namespace kovra_sim {

std::string StateJson(SimReader &reader);

}  // namespace kovra_sim
