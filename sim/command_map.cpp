// The wire codes of protocol families 2 and 3 mapped onto the firmware's one set of commands.
#include "sim/command_map.h"

#include <array>
#include <span>

namespace kovra_sim {
namespace {

enum class Undo {
  kCodeOnly,       // only the code differs
  kParameterByte,  // a parameter byte stands in front of the data
  kFieldOn,        // the on/off parameter of 0xF5 is in the code
  kFieldOff,
};

struct WireCode {
  uint8_t wire;
  uint8_t code;
  Undo undo;
};

constexpr std::array<WireCode, 8> kFamily2 = {{
    {0x28, 0x20, Undo::kParameterByte},
    {0x29, 0x21, Undo::kCodeOnly},
    {0x0B, 0xF0, Undo::kCodeOnly},
    {0x0C, 0xF5, Undo::kFieldOn},
    {0x0D, 0xF5, Undo::kFieldOff},
    {0x07, 0xF6, Undo::kCodeOnly},
    {0x0E, 0xF9, Undo::kCodeOnly},
    {0x0F, 0xFF, Undo::kCodeOnly},
}};
constexpr std::array<WireCode, 6> kFamily3 = {{
    {0x21, 0x20, Undo::kParameterByte},
    {0x29, 0x21, Undo::kCodeOnly},
    {0x60, 0xF0, Undo::kCodeOnly},
    {0x0C, 0xF5, Undo::kFieldOn},
    {0x0D, 0xF5, Undo::kFieldOff},
    {0x07, 0xF6, Undo::kCodeOnly},
}};

// Generic codes that the host always sends under another code in family 2 or 3; arriving as they
// are, they mean nothing to that family's firmware.
constexpr std::array<uint8_t, 9> kTranslatedAwayFamily2 = {0x20, 0x21, 0xF0, 0xF5, 0xF6,
                                                           0xF7, 0xF9, 0xFA, 0xFF};
constexpr std::array<uint8_t, 5> kTranslatedAwayFamily3 = {0x20, 0xF0, 0xF5, 0xF6, 0xF7};

bool Contains(std::span<const uint8_t> codes, uint8_t code) {
  for (uint8_t c : codes) {
    if (c == code) return true;
  }
  return false;
}

FirmwareCommand Undone(const WireCode &entry, const Bytes &data) {
  FirmwareCommand command{entry.code, {}, std::nullopt};
  switch (entry.undo) {
    case Undo::kCodeOnly:
      command.data = data;
      break;
    case Undo::kParameterByte:
      if (!data.empty()) {
        command.inserted = data.front();
        command.data.assign(data.begin() + 1, data.end());
      }
      break;
    case Undo::kFieldOn:
    case Undo::kFieldOff:
      command.data.reserve(data.size() + 1);
      command.data.push_back(entry.undo == Undo::kFieldOn ? 1 : 0);
      for (uint8_t byte : data) command.data.push_back(byte);
      break;
  }
  return command;
}

}  // namespace

std::optional<FirmwareCommand> ToFirmwareCommand(int family, uint8_t wire_code, const Bytes &data) {
  std::span<const WireCode> table;
  std::span<const uint8_t> translated_away;
  if (family == 2) {
    table = kFamily2;
    translated_away = kTranslatedAwayFamily2;
  } else if (family == 3) {
    table = kFamily3;
    translated_away = kTranslatedAwayFamily3;
  }
  if (Contains(translated_away, wire_code)) return std::nullopt;
  for (const WireCode &entry : table) {
    if (entry.wire == wire_code) return Undone(entry, data);
  }
  return FirmwareCommand{wire_code, data, std::nullopt};
}

}  // namespace kovra_sim
