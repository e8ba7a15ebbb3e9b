// The simulated reader's firmware: one command table over the firmware commands (command_map.h
// maps the wire codes of families 2 and 3 onto them), the reader's settings and its state.
// Framing, scripting and delivery live elsewhere (reader.h); this class only answers commands.
//
// Commands it knows, with the data it expects:
//   0xF0 version          any    families 0, 1: the version text; family 2: 04 05 31 35, or the
//                                version text for the data "FV"; family 3: 00 00 00 00, the
//                                version text, 00 (9 bytes for a 4-character text)
//   0xF4 mode             1 byte
//   0xF5 RF field         1 byte (0 = off)
//   0xF6 control          any
//   0xF8 serial number    none   the 4 bytes of the settings
//   0xFF USB mode         1 byte
//   0x40 ISO parameter    1 byte
//   0x30 0x31 0x41 0x42 0x45 0x46 (card commands): "no transponder"; no card lies on this reader
// A command of the wrong data length gets ReplyStatus::kWrongLength, an unknown one
// ReplyStatus::kNotAccepted.
//
// Not thread-safe; SimReader serialises calls.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "sim/command_map.h"
#include "sim/reply.h"

namespace kovra_sim {

struct FirmwareSettings {
  int family = 0;
  std::string version = "1234";  // 3 hex digits device type, 1 character revision
  std::array<uint8_t, 4> serial_number = {0x12, 0x34, 0x56, 0x78};
};

// The first answer of a family-2 reader to the version command.
inline const Bytes kFamily2FirstVersion = {0x04, 0x05, 0x31, 0x35};
// The data of the family-2 follow-up version command.
inline const Bytes kFamily2VersionFollowUp = {'F', 'V'};

class Firmware {
 public:
  using Handler = std::function<Reply(const FirmwareCommand &command)>;

  explicit Firmware(FirmwareSettings settings = {});
  Firmware(const Firmware &) = delete;
  Firmware &operator=(const Firmware &) = delete;

  // Runs one command and returns the answer; an unknown code gets ReplyStatus::kNotAccepted.
  Reply Execute(const FirmwareCommand &command);

  // Adds or replaces the handler of a code; an empty handler removes the code from the table.
  void SetHandler(uint8_t code, Handler handler);
  bool Knows(uint8_t code) const { return table_.count(code) != 0; }

  FirmwareSettings &Settings() { return settings_; }
  const FirmwareSettings &Settings() const { return settings_; }

  // State the commands leave behind.
  bool FieldOn() const { return field_on_; }
  uint8_t Mode() const { return mode_; }
  uint8_t UsbMode() const { return usb_mode_; }
  uint8_t IsoParameter() const { return iso_parameter_; }
  const Bytes &LastControl() const { return last_control_; }

 private:
  Reply Version(const Bytes &data) const;
  // A handler for a command that takes one byte and stores it.
  Handler StoreOneByte(uint8_t &target);

  FirmwareSettings settings_;
  std::map<uint8_t, Handler> table_;
  bool field_on_ = false;
  uint8_t mode_ = 0;
  uint8_t usb_mode_ = 0;
  uint8_t iso_parameter_ = 0;
  Bytes last_control_;
};

}  // namespace kovra_sim
