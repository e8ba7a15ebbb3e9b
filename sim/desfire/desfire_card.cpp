// A MIFARE DESFire EV1 card as the reader's ISO 14443-4 slot sees it, written from the card's point
// of view.
#include "sim/desfire/desfire_card.h"

#include <algorithm>
#include <utility>

namespace kovra_sim {

using namespace desfire_status;

const std::array<DesfireCard::CommandEntry, 17> DesfireCard::kCommands = {{
    {0x1A, &DesfireCard::AuthenticateIso, false},
    {0xAA, &DesfireCard::AuthenticateAes, false},
    {0x5A, &DesfireCard::SelectApplication, false},
    {0xCA, &DesfireCard::CreateApplication, true},
    {0xDA, &DesfireCard::DeleteApplication, true},
    {0xFC, &DesfireCard::FormatPicc, true},
    {0x6A, &DesfireCard::GetApplicationIds, true},
    {0x60, &DesfireCard::GetVersion, true},
    {0x6E, &DesfireCard::GetFreeMemory, true},
    {0xC4, &DesfireCard::ChangeKey, false},  // enciphered: the decipherment moves the chain
    {0x45, &DesfireCard::GetKeySettings, true},
    {0x64, &DesfireCard::GetKeyVersion, true},
    {0xCD, &DesfireCard::CreateStdDataFile, true},
    {0x6F, &DesfireCard::GetFileIds, true},
    {0xF5, &DesfireCard::GetFileSettings, true},
    {0xBD, &DesfireCard::ReadData, true},
    {0x3D, &DesfireCard::WriteData, false},  // MACed or deciphered once all frames are in
}};

DesfireCard::DesfireCard(Bytes uid, DesfireCardOptions options)
    : uid_(std::move(uid)), options_(std::move(options)) {
  if (!options_.random) random_.seed(std::random_device{}());
  picc_.total_memory = options_.total_memory;
}

Bytes DesfireCard::Ats() const {
  return {0x06, 0x75, 0x77, 0x81, 0x02, 0x80};
}

void DesfireCard::Reset() {
  selected_aid_ = 0;
  EndSession();
  pending_ = std::monostate{};
}

Bytes DesfireCard::Exchange(const Bytes &frame) {
  if (frame.empty() || frame.size() > kMaxCommandFrame) return Fail(kLengthError);
  if (selected_aid_ != 0 && !Selected()) Reset();  // a test took the application away
  if (frame[0] == kAdditionalFrame) return Continue(frame);
  if (CommandPending()) return Fail(kCommandAborted);
  if (auto injected = injected_.find(frame[0]); injected != injected_.end()) {
    const uint8_t status = injected->second;
    injected_.erase(injected);
    return Fail(status);
  }
  const auto entry = std::find_if(kCommands.begin(), kCommands.end(),
                                  [&](const CommandEntry &e) { return e.code == frame[0]; });
  if (entry == kCommands.end()) return Fail(kIllegalCommand);
  if (entry->mac_command && session_) session_->channel.Mac(frame);
  return Finish((this->*entry->handler)(frame));
}

Bytes DesfireCard::Continue(const Bytes &frame) {
  auto pending = std::exchange(pending_, std::monostate{});
  if (auto *answer = std::get_if<PendingAnswer>(&pending)) {
    if (frame.size() != 1) return Fail(kLengthError);
    Bytes next = std::move(answer->frames.front());
    answer->frames.pop_front();
    if (!answer->frames.empty()) pending_ = std::move(*answer);
    return next;
  }
  if (auto *authentication = std::get_if<PendingAuthentication>(&pending)) {
    return Finish(FinishAuthentication(*authentication, frame));
  }
  if (auto *write = std::get_if<PendingWrite>(&pending)) {
    return Finish(ContinueWrite(std::move(*write), frame.data() + 1, frame.size() - 1));
  }
  return Fail(kIllegalCommand);
}

Bytes DesfireCard::Finish(CardAnswer answer) {
  if (answer.status == kAdditionalFrame) {
    Bytes out{kAdditionalFrame};
    out.insert(out.end(), answer.data.begin(), answer.data.end());
    return out;
  }
  if (answer.status != kOk) return Fail(answer.status);
  Bytes stream = answer.data;
  if (answer.mac && session_) {
    Bytes maced = answer.data;
    maced.push_back(kOk);
    const Bytes mac = session_->channel.Mac(maced);
    stream.insert(stream.end(), mac.begin(), mac.end());
  }
  std::deque<Bytes> frames;
  size_t at = 0;
  size_t index = 0;
  do {
    const size_t size =
        index < answer.first_frames.size() ? answer.first_frames[index] : kMaxAnswerData;
    const size_t count = std::min(size, stream.size() - at);
    Bytes frame{kAdditionalFrame};
    frame.insert(frame.end(), stream.begin() + static_cast<std::ptrdiff_t>(at),
                 stream.begin() + static_cast<std::ptrdiff_t>(at + count));
    frames.push_back(std::move(frame));
    at += count;
    ++index;
  } while (at < stream.size());
  frames.back()[0] = kOk;
  Bytes first = std::move(frames.front());
  frames.pop_front();
  if (!frames.empty()) pending_ = PendingAnswer{std::move(frames)};
  return first;
}

Bytes DesfireCard::Fail(uint8_t status) {
  EndSession();
  pending_ = std::monostate{};
  return {status};
}

Bytes DesfireCard::Random(size_t count) {
  Bytes bytes(count);
  if (options_.random) {
    options_.random(bytes.data(), count);
  } else {
    std::uniform_int_distribution<int> byte(0, 0xFF);
    for (uint8_t &b : bytes) b = static_cast<uint8_t>(byte(random_));
  }
  return bytes;
}

std::optional<uint8_t> DesfireCard::AuthenticatedKey() const {
  if (!session_) return std::nullopt;
  return session_->key_number;
}

DesfireKey *DesfireCard::KeyOfSelected(uint8_t number) {
  if (selected_aid_ == 0) return number == 0 ? &picc_.master_key : nullptr;
  DesfireApplication *application = Selected();
  if (!application || number >= application->keys.size()) return nullptr;
  return &application->keys[number];
}

std::optional<DesfireSessionView> DesfireCard::Session() const {
  if (!session_) return std::nullopt;
  return DesfireSessionView{session_->key_number, session_->channel.Kind(),
                            session_->channel.SessionKey(), session_->channel.Iv()};
}

}  // namespace kovra_sim
