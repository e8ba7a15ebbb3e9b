// The simulated reader's firmware: one command table over the firmware commands (command_map.h
// maps the wire codes of families 2 and 3 onto them), the reader's settings and its state, and the
// RF field with the card in it (field.h). Framing, scripting and delivery live elsewhere
// (reader.h); this class only answers commands.
//
// Commands it knows, with the data it expects:
//   0xF0 version          any    families 0, 1: the version text; family 2: 04 05 31 35, or for the
//                                data "FV" the follow-up answer (the version text unless set);
//                                family 3: 00 00 00 00, the version text, 00 (9 bytes for a
//                                4-character text)
//   0xF4 mode             1 byte
//   0xF5 RF field         1 byte (0 = off); off takes the card back to idle
//   0xF6 control          2 bytes
//   0xF8 serial number    none   the 4 bytes of the settings
//   0xFF USB mode         1 byte
//   0x40 ISO parameter    1 byte
// Card commands; each answers "no transponder" (ReplyStatus::kNoCard) when the field is off, no
// card lies in it, or the card is not in the state the command needs:
//   0x30 request          none   the ATQA, low byte first (2 bytes)
//   0x31 select           none   SAK, then the UID; the card is selected (and reset)
//   0x41 RATS             none   the ATS; needs a selected ISO 14443-4 card, which then is in
//                                layer 4
//   0x42 PPS              1 byte needs layer 4
//   0x45 exchange         1..255 needs layer 4: the card's answer to the block. Family 0 cuts an
//                                answer longer than the part size into parts: the first goes out
//                                with status 0x20 (more data), each 0x46 takes the next, the last
//                                with success. Other families send the whole answer at once.
//   0x46 next part        none   the next part; with nothing pending "no transponder" when no card
//                                is active, else ReplyStatus::kNotAccepted
// A command of the wrong data length gets ReplyStatus::kWrongLength, an unknown one
// ReplyStatus::kNotAccepted.
//
// Not thread-safe; SimReader serialises calls.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "sim/command_map.h"
#include "sim/field.h"
#include "sim/reply.h"

namespace kovra_sim {

struct FirmwareSettings {
  int family = 0;
  std::string version = "1234";  // 3 hex digits device type, 1 character revision
  std::array<uint8_t, 4> serial_number = {0x12, 0x34, 0x56, 0x78};
  // Family 2: the answer to the version command with the data "FV"; nothing: the version text.
  std::optional<std::string> follow_up_version;
  // Family 0: card answers longer than this go out in parts (0: never cut).
  size_t exchange_part_size = 64;
};

// The first answer of a family-2 reader to the version command.
inline const Bytes kFamily2FirstVersion = {0x04, 0x05, 0x31, 0x35};
// The data of the family-2 follow-up version command.
inline const Bytes kFamily2VersionFollowUp = {'F', 'V'};

class Firmware {
 public:
  using Handler = std::function<Reply(const FirmwareCommand &command)>;

  // `now` and `seed` go to the field (field.h).
  explicit Firmware(FirmwareSettings settings = {}, NowFn now = {},
                    std::optional<uint32_t> seed = std::nullopt);
  Firmware(const Firmware &) = delete;
  Firmware &operator=(const Firmware &) = delete;

  // Runs one command and returns the answer; an unknown code gets ReplyStatus::kNotAccepted.
  Reply Execute(const FirmwareCommand &command);

  // Adds or replaces the handler of a code; an empty handler removes the code from the table.
  void SetHandler(uint8_t code, Handler handler);
  bool Knows(uint8_t code) const { return table_.count(code) != 0; }

  FirmwareSettings &Settings() { return settings_; }
  const FirmwareSettings &Settings() const { return settings_; }

  Field &GetField() { return field_; }
  const Field &GetField() const { return field_; }

  // State the commands leave behind.
  bool FieldOn() const { return field_.PowerOn(); }
  uint8_t Mode() const { return mode_; }
  uint8_t UsbMode() const { return usb_mode_; }
  uint8_t IsoParameter() const { return iso_parameter_; }
  const Bytes &LastControl() const { return last_control_; }
  uint8_t LastPps() const { return last_pps_; }
  // Parts of a card answer still to be fetched with 0x46.
  size_t PendingParts() const { return pending_parts_.size(); }

 private:
  Reply Version(const Bytes &data) const;
  // The card commands.
  Reply Request(const FirmwareCommand &command);
  Reply Select(const FirmwareCommand &command);
  Reply Rats(const FirmwareCommand &command);
  Reply Pps(const FirmwareCommand &command);
  Reply Exchange(const FirmwareCommand &command);
  Reply NextPart(const FirmwareCommand &command);
  // The present card, when the field is on; null otherwise.
  Card *PoweredCard();
  // A handler for a command that takes one byte and stores it.
  Handler StoreOneByte(uint8_t &target);

  FirmwareSettings settings_;
  std::map<uint8_t, Handler> table_;
  Field field_;
  uint8_t mode_ = 0;
  uint8_t usb_mode_ = 0;
  uint8_t iso_parameter_ = 0;
  Bytes last_control_;
  uint8_t last_pps_ = 0;
  std::deque<Bytes> pending_parts_;  // the reader's buffer of a cut card answer
};

}  // namespace kovra_sim
