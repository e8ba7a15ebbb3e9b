// Families 2 and 3 carry some commands under codes of their own. The firmware works on one set of
// commands (the codes families 0 and 1 use); this maps what arrived on the wire back onto it.
//
//   firmware command     family 2 wire                 family 3 wire
//   0x20 (data d0 d1..)  0x28, p d0 d1.. (p = 1 or 0)  0x21, p d0 d1.. (p = 8 or 4)
//   0x21                 0x29                          0x29
//   0xF0 version         0x0B                          0x60
//   0xF5 field, on/off   0x0C (on) / 0x0D (off), no data
//   0xF6                 0x07                          0x07
//   0xF9                 0x0E                          0xF9 (as is)
//   0xFF                 0x0F                          0xFF (as is)
// All other codes are the same in every family.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/frame_codec.h"

namespace kovra_sim {

struct FirmwareCommand {
  uint8_t code = 0;
  Bytes data;
  // Families 2 and 3, command 0x20: the parameter byte the host put in front of the data.
  std::optional<uint8_t> inserted;
};

// The firmware command for a command byte and data as they arrived. Nothing when the family's
// firmware does not know the wire code: in families 2 and 3 the codes that the host always
// translates (0xF0, 0xF5, ...) do not exist on the wire.
std::optional<FirmwareCommand> ToFirmwareCommand(int family, uint8_t wire_code, const Bytes &data);

}  // namespace kovra_sim
