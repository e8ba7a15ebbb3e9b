// The simulated reader's firmware: one command table over the firmware commands.
#include "sim/firmware.h"

#include <algorithm>
#include <utility>

namespace kovra_sim {
namespace {

constexpr size_t kMaxBlock = 255;

}  // namespace

Firmware::Firmware(FirmwareSettings settings, NowFn now, std::optional<uint32_t> seed)
    : settings_(std::move(settings)), field_(std::move(now), seed) {
  table_[0xF0] = [this](const FirmwareCommand &c) { return Version(c.data); };
  table_[0xF4] = StoreOneByte(mode_);
  table_[0xF5] = [this](const FirmwareCommand &c) {
    if (c.data.size() != 1) return Reply::Error(ReplyStatus::kWrongLength);
    field_.SetPower(c.data[0] != 0);
    return Reply::Ok();
  };
  table_[0xF6] = [this](const FirmwareCommand &c) {
    if (c.data.size() != 2) return Reply::Error(ReplyStatus::kWrongLength);
    last_control_ = c.data;
    return Reply::Ok();
  };
  table_[0xF8] = [this](const FirmwareCommand &c) {
    if (!c.data.empty()) return Reply::Error(ReplyStatus::kWrongLength);
    return Reply::Ok(Bytes(settings_.serial_number.begin(), settings_.serial_number.end()));
  };
  table_[0xFF] = StoreOneByte(usb_mode_);
  table_[0x40] = StoreOneByte(iso_parameter_);
  table_[0x30] = [this](const FirmwareCommand &c) { return Request(c); };
  table_[0x31] = [this](const FirmwareCommand &c) { return Select(c); };
  table_[0x41] = [this](const FirmwareCommand &c) { return Rats(c); };
  table_[0x42] = [this](const FirmwareCommand &c) { return Pps(c); };
  table_[0x45] = [this](const FirmwareCommand &c) { return Exchange(c); };
  table_[0x46] = [this](const FirmwareCommand &c) { return NextPart(c); };
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
    case 2: {
      if (data != kFamily2VersionFollowUp) return Reply::Ok(kFamily2FirstVersion);
      if (!settings_.follow_up_version) return Reply::Ok(text);
      const std::string &follow_up = *settings_.follow_up_version;
      return Reply::Ok(Bytes(follow_up.begin(), follow_up.end()));
    }
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

// --- card commands ------------------------------------------------------------------------------

Card *Firmware::PoweredCard() {
  if (!field_.PowerOn()) return nullptr;
  return field_.Present();
}

Reply Firmware::Request(const FirmwareCommand &command) {
  if (!command.data.empty()) return Reply::Error(ReplyStatus::kWrongLength);
  const Card *card = PoweredCard();
  if (!card) return Reply::Error(ReplyStatus::kNoCard);
  const uint16_t atqa = card->Atqa();
  return Reply::Ok({static_cast<uint8_t>(atqa & 0xFF), static_cast<uint8_t>(atqa >> 8)});
}

Reply Firmware::Select(const FirmwareCommand &command) {
  if (!command.data.empty()) return Reply::Error(ReplyStatus::kWrongLength);
  const Card *card = PoweredCard();
  if (!card) return Reply::Error(ReplyStatus::kNoCard);
  field_.SetActivation(Activation::kSelected);
  Bytes answer{card->Sak()};
  const Bytes uid = card->Uid();
  answer.insert(answer.end(), uid.begin(), uid.end());
  return Reply::Ok(std::move(answer));
}

Reply Firmware::Rats(const FirmwareCommand &command) {
  if (!command.data.empty()) return Reply::Error(ReplyStatus::kWrongLength);
  if (!PoweredCard()) return Reply::Error(ReplyStatus::kNoCard);
  const Iso14443Card *card = field_.PresentIso();
  if (!card || field_.State() != Activation::kSelected) return Reply::Error(ReplyStatus::kNoCard);
  field_.SetActivation(Activation::kLayer4);
  return Reply::Ok(card->Ats());
}

Reply Firmware::Pps(const FirmwareCommand &command) {
  if (command.data.size() != 1) return Reply::Error(ReplyStatus::kWrongLength);
  if (!PoweredCard() || field_.State() != Activation::kLayer4) {
    return Reply::Error(ReplyStatus::kNoCard);
  }
  last_pps_ = command.data[0];
  return Reply::Ok();
}

Reply Firmware::Exchange(const FirmwareCommand &command) {
  if (command.data.empty() || command.data.size() > kMaxBlock) {
    return Reply::Error(ReplyStatus::kWrongLength);
  }
  // A new exchange replaces whatever was left of the previous answer.
  pending_parts_.clear();
  if (!PoweredCard()) return Reply::Error(ReplyStatus::kNoCard);
  Iso14443Card *card = field_.PresentIso();
  if (!card || field_.State() != Activation::kLayer4) return Reply::Error(ReplyStatus::kNoCard);
  Bytes answer = card->Exchange(command.data);
  // A DESFire write (0x3D) and its continuation frames (0xAF) count as writing to the card.
  const bool writes = command.data[0] == 0x3D || command.data[0] == 0xAF;
  field_.NoteExchange(writes);  // may take the card away (fault); its answer still goes out
  const size_t part = settings_.exchange_part_size;
  if (settings_.family != 0 || part == 0 || answer.size() <= part) {
    return Reply::Ok(std::move(answer));
  }
  for (size_t at = part; at < answer.size(); at += part) {
    const size_t end = std::min(answer.size(), at + part);
    pending_parts_.emplace_back(answer.begin() + static_cast<std::ptrdiff_t>(at),
                                answer.begin() + static_cast<std::ptrdiff_t>(end));
  }
  answer.resize(part);
  return Reply::MoreData(std::move(answer));
}

Reply Firmware::NextPart(const FirmwareCommand &command) {
  if (!command.data.empty()) return Reply::Error(ReplyStatus::kWrongLength);
  if (pending_parts_.empty()) {
    const bool active = PoweredCard() != nullptr && field_.State() == Activation::kLayer4;
    return Reply::Error(active ? ReplyStatus::kNotAccepted : ReplyStatus::kNoCard);
  }
  // The parts lie in the reader's buffer: they are handed out even if the card has gone since.
  Bytes next = std::move(pending_parts_.front());
  pending_parts_.pop_front();
  return pending_parts_.empty() ? Reply::Ok(std::move(next)) : Reply::MoreData(std::move(next));
}

}  // namespace kovra_sim
