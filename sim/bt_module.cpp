// A Bluetooth module in front of the simulated reader.
#include "sim/bt_module.h"

#include <algorithm>
#include <utility>

namespace kovra_sim {
namespace {

constexpr uint8_t kStart = 0x02;
constexpr uint8_t kEnd = 0x03;
constexpr uint8_t kRequest = 'R';
constexpr uint8_t kConfirmation = 'C';
constexpr uint8_t kIndication = 'i';

uint8_t Check(const uint8_t *header) {
  return static_cast<uint8_t>(header[1] + header[2] + header[3] + header[4]);
}

// A foreign device an inquiry finds first (its class of device is configured).
constexpr std::array<uint8_t, 6> kForeignAddress = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60};

Bytes InquiryResult(const std::array<uint8_t, 6> &address, uint32_t device_class) {
  Bytes payload(address.begin(), address.end());
  payload.push_back(static_cast<uint8_t>(device_class));
  payload.push_back(static_cast<uint8_t>(device_class >> 8));
  payload.push_back(static_cast<uint8_t>(device_class >> 16));
  return payload;
}

}  // namespace

BtModule::BtModule(SimReader &reader, BtModuleConfig config)
    : reader_(reader), config_(std::move(config)) {
  reader_connection_ =
      reader_.Connect([this](const uint8_t *bytes, size_t count) { OnReaderOutput(bytes, count); });
  link_thread_ = std::thread([this] {
    std::unique_lock<std::mutex> lock(link_mutex_);
    for (;;) {
      link_changed_.wait(lock, [this] { return stopping_ || link_pending_; });
      if (stopping_) return;
      // The link comes up a little after the connect was confirmed.
      if (link_changed_.wait_for(lock, config_.link_delay, [this] { return stopping_; })) return;
      link_pending_ = false;
      link_up_.store(true);
      // Status 0, the reader's address, the channel, and a reserved byte.
      Bytes payload(9, 0x00);
      std::copy(config_.reader_address.begin(), config_.reader_address.end(), payload.begin() + 1);
      payload[7] = 0x02;
      lock.unlock();
      Send(kIndication, 0x0B, payload);
      lock.lock();
    }
  });
}

BtModule::~BtModule() {
  {
    std::lock_guard<std::mutex> lock(link_mutex_);
    stopping_ = true;
  }
  link_changed_.notify_all();
  if (link_thread_.joinable()) link_thread_.join();
  reader_.Disconnect(reader_connection_);
}

uint64_t BtModule::Connect(OutputFn output, std::function<void()> on_gone) {
  (void)on_gone;
  std::lock_guard<std::mutex> lock(host_mutex_);
  host_output_ = std::move(output);
  return ++host_connection_;
}

void BtModule::Disconnect(uint64_t connection) {
  std::lock_guard<std::mutex> lock(host_mutex_);
  if (connection == host_connection_) host_output_ = nullptr;
}

void BtModule::InjectStray(const Bytes &bytes) {
  std::lock_guard<std::mutex> lock(host_mutex_);
  stray_.insert(stray_.end(), bytes.begin(), bytes.end());
}

void BtModule::SendToHost(const Bytes &bytes) {
  std::lock_guard<std::mutex> lock(host_mutex_);
  if (!host_output_) return;
  if (!stray_.empty()) {
    host_output_(stray_.data(), stray_.size());
    stray_.clear();
  }
  host_output_(bytes.data(), bytes.size());
}

void BtModule::Send(uint8_t type, uint8_t opcode, const Bytes &payload) {
  Bytes packet(7 + payload.size());
  packet[0] = kStart;
  packet[1] = type;
  packet[2] = opcode;
  packet[3] = static_cast<uint8_t>(payload.size());
  packet[4] = static_cast<uint8_t>(payload.size() >> 8);
  packet[5] = Check(packet.data());
  std::copy(payload.begin(), payload.end(), packet.begin() + 6);
  packet.back() = kEnd;
  SendToHost(packet);
}

void BtModule::Receive(const uint8_t *bytes, size_t count) {
  input_.insert(input_.end(), bytes, bytes + count);
  TakeRequests();
}

void BtModule::TakeRequests() {
  for (;;) {
    size_t start = 0;
    while (start < input_.size() && input_[start] != kStart) ++start;
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(start));
    if (input_.size() < 6) return;
    const size_t length = input_[3] | static_cast<size_t>(input_[4]) << 8;
    if (input_[1] != kRequest || input_[5] != Check(input_.data()) || length > kMaxPayload) {
      input_.erase(input_.begin());  // no packet starts here
      continue;
    }
    if (input_.size() < 7 + length) return;
    if (input_[6 + length] != kEnd) {
      input_.erase(input_.begin());
      continue;
    }
    const uint8_t opcode = input_[2];
    const Bytes payload(input_.begin() + 6,
                        input_.begin() + 6 + static_cast<std::ptrdiff_t>(length));
    input_.erase(input_.begin(), input_.begin() + 7 + static_cast<std::ptrdiff_t>(length));
    OnRequest(opcode, payload);
  }
}

void BtModule::OnRequest(uint8_t opcode, const Bytes &payload) {
  switch (opcode) {
    case 0x26:
      Send(kIndication, 0x25, {});
      break;
    case 0x00:
      Send(kIndication, 0x01, InquiryResult(kForeignAddress, config_.foreign_class));
      Send(kIndication, 0x01, InquiryResult(config_.reader_address, config_.reader_class));
      Send(kConfirmation, 0x00, {0x00});
      break;
    case 0x02: {
      if (payload.size() < 6) break;
      const bool reader =
          std::equal(config_.reader_address.begin(), config_.reader_address.end(), payload.begin());
      const std::string name = reader ? config_.reader_name : "Headset";
      // Status 0, the address, the name's length and the name.
      Bytes answer(8 + name.size(), 0x00);
      std::copy(payload.begin(), payload.begin() + 6, answer.begin() + 1);
      answer[7] = static_cast<uint8_t>(name.size());
      std::copy(name.begin(), name.end(), answer.begin() + 8);
      Send(kConfirmation, 0x02, answer);
      break;
    }
    case 0x0A: {
      const bool reader =
          payload.size() >= 7 && std::equal(config_.reader_address.begin(),
                                            config_.reader_address.end(), payload.begin() + 1);
      Send(kConfirmation, 0x0A, {static_cast<uint8_t>(reader ? 0x00 : 0x04), 0x00});
      if (reader) {
        std::lock_guard<std::mutex> lock(link_mutex_);
        link_pending_ = true;
        link_changed_.notify_all();
      }
      break;
    }
    case 0x0F: {
      if (payload.size() < 3 || payload[0] != 0x02) break;
      const size_t length = payload[1] | static_cast<size_t>(payload[2]) << 8;
      if (payload.size() < 3 + length) break;
      if (!link_up_.load()) {
        dropped_before_link_.fetch_add(1);
        break;
      }
      reader_.Receive(payload.data() + 3, length);
      break;
    }
    case 0x0D:
      if (silent_on_disconnect_.load()) {
        link_up_.store(false);
        break;
      }
      link_up_.store(false);
      Send(kIndication, 0x51, {0x02});
      Send(kIndication, 0x0E, {0x02, 0x00});
      break;
    default:
      break;
  }
}

void BtModule::OnReaderOutput(const uint8_t *bytes, size_t count) {
  if (!link_up_.load()) return;
  for (size_t at = 0; at < count; at += kMaxPayload - 3) {
    const size_t piece = std::min(count - at, kMaxPayload - 3);
    Bytes payload(3 + piece);
    payload[0] = 0x02;
    payload[1] = static_cast<uint8_t>(piece);
    payload[2] = static_cast<uint8_t>(piece >> 8);
    std::copy(bytes + at, bytes + at + piece, payload.begin() + 3);
    Send(kIndication, 0x10, payload);
  }
}

}  // namespace kovra_sim
