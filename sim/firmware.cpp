#include "sim/firmware.h"

#include <utility>

namespace kovra_sim {

Firmware::Firmware(FirmwareSettings settings) : settings_(std::move(settings)) {
  table_[0xF0] = [this](const FirmwareCommand &c) { return Version(c.data); };
  table_[0xF4] = StoreOneByte(mode_);
  table_[0xF5] = [this](const FirmwareCommand &c) {
    if (c.data.size() != 1) return Reply::Error(ReplyStatus::kWrongLength);
    field_on_ = c.data[0] != 0;
    return Reply::Ok();
  };
  table_[0xF6] = [this](const FirmwareCommand &c) {
    last_control_ = c.data;
    return Reply::Ok();
  };
  table_[0xF8] = [this](const FirmwareCommand &c) {
    if (!c.data.empty()) return Reply::Error(ReplyStatus::kWrongLength);
    return Reply::Ok(Bytes(settings_.serial_number.begin(), settings_.serial_number.end()));
  };
  table_[0xFF] = StoreOneByte(usb_mode_);
  table_[0x40] = StoreOneByte(iso_parameter_);
  const Handler no_card = [](const FirmwareCommand &) {
    return Reply::Error(ReplyStatus::kNoCard);
  };
  for (uint8_t code : {0x30, 0x31, 0x41, 0x42, 0x45, 0x46}) table_[code] = no_card;
}

Firmware::Handler Firmware::StoreOneByte(uint8_t &target) {
  return [&target](const FirmwareCommand &c) {
    if (c.data.size() != 1) return Reply::Error(ReplyStatus::kWrongLength);
    target = c.data[0];
    return Reply::Ok();
  };
}

Reply Firmware::Execute(const FirmwareCommand &command) {
  const auto handler = table_.find(command.code);
  if (handler == table_.end()) return Reply::Error(ReplyStatus::kNotAccepted);
  return handler->second(command);
}

void Firmware::SetHandler(uint8_t code, Handler handler) {
  if (handler) {
    table_[code] = std::move(handler);
  } else {
    table_.erase(code);
  }
}

Reply Firmware::Version(const Bytes &data) const {
  const Bytes text(settings_.version.begin(), settings_.version.end());
  switch (settings_.family) {
    case 2:
      return Reply::Ok(data == kFamily2VersionFollowUp ? text : kFamily2FirstVersion);
    case 3: {
      // Bytes 4 to 7 of the 9-byte answer carry the version.
      Bytes answer(4, 0x00);
      answer.insert(answer.end(), text.begin(), text.end());
      answer.push_back(0x00);
      return Reply::Ok(answer);
    }
    default:
      return Reply::Ok(text);
  }
}

}  // namespace kovra_sim
