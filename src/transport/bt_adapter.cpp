#include "transport/bt_adapter.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <thread>

#include "kovra.h"
#include "reader/port_name.h"
#include "reader/trace.h"
#include "transport/link_failure.h"
#include "transport/plain_name.h"
#include "transport/serial_name.h"
#include "transport/tty_open.h"
#include "transport/vendor_handle.h"

namespace kovra {
namespace {

using namespace std::chrono_literals;

constexpr uint8_t kChannel = 2;
constexpr size_t kInquiryTableSize = 29;
constexpr size_t kNameLimit = 30;
constexpr int kNameAttempts = 6;
constexpr char kAdapterPrefix[] = "ULO-PN7341#";

constexpr uint16_t Event(uint8_t opcode, char type) {
  return static_cast<uint16_t>(opcode << 8 | static_cast<uint8_t>(type));
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string WithoutBt(std::string_view name) {
  std::string plain(name);
  for (size_t at; (at = plain.find(" BT")) != std::string::npos;) plain.erase(at, 3);
  return plain;
}

// The major device class: bits 8..12 of the class of device. Service bits (13..23) and the minor
// class (2..7) say nothing about what kind of device it is.
uint32_t MajorClass(uint32_t device_class) {
  return device_class & 0x1F00;
}

}  // namespace

bool CBtAdapter::Open(std::string_view name) {
  Close();
  const std::string plain = WithoutBt(name);
  if (!OpenBridge(plain) && !OpenSerial(plain)) return false;
  open_.store(true);
  // The module answers 0x26 once it is ready; whether it does in time does not matter.
  Await(BuildBtRequest(0x26), Event(0x25, 'i'), kOpenWait);
  return open_.load();
}

bool CBtAdapter::OpenBridge(const std::string &serial) {
  const std::vector<std::string> serials = binding_.SerialNumbers();
  for (size_t index = 0; index < serials.size(); ++index) {
    if (!SameIgnoringCase(serials[index], serial)) continue;
    using usbxpress::kSuccess;
    if (binding_.SetTimeouts(1000, 1000) != kSuccess) return false;
    usbxpress::HANDLE handle = nullptr;
    if (binding_.Open(static_cast<usbxpress::DWORD>(index), &handle) != kSuccess ||
        !IsUsableVendorHandle(handle)) {
      return false;
    }
    // 921600 baud, 8N1, CTS as handshake input, RTS driven by the bridge, DTR first inactive,
    // then active after the flush; a 10 ms break wakes the module.
    const bool set_up = binding_.SetBaudRate(handle, 921600) == kSuccess &&
                        binding_.SetLineControl(handle, 0x0800) == kSuccess &&
                        binding_.SetFlowControl(handle, 1, 2, 0) == kSuccess &&
                        binding_.FlushBuffers(handle, 1, 1) == kSuccess &&
                        binding_.SetFlowControl(handle, 1, 2, 1) == kSuccess &&
                        binding_.SetBreak(handle, 1) == kSuccess;
    if (set_up) std::this_thread::sleep_for(10ms);
    if (!set_up || binding_.SetBreak(handle, 0) != kSuccess) {
      binding_.Close(handle);
      return false;
    }
    bridge_ = handle;
    return true;
  }
  return false;
}

bool CBtAdapter::OpenSerial(const std::string &name) {
  const SerialDevice device = NormaliseSerialName(name);
  if (device.use_d2xx) {
    SetLinkFailure(KOVRA_LINK_NO_DEVICE);
    return false;
  }
  const int fd = OpenTtyExclusively(device.device);
  if (fd < 0) return false;
  termios tty{};
  if (::tcgetattr(fd, &tty) == 0) {
    ::cfmakeraw(&tty);
    ::cfsetispeed(&tty, B9600);
    ::cfsetospeed(&tty, B9600);
    tty.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &tty);
  }
  // A 50 ms break wakes the module (a line without breaks, such as a pty, ignores it).
  if (::ioctl(fd, TIOCSBRK) == 0) {
    std::this_thread::sleep_for(50ms);
    ::ioctl(fd, TIOCCBRK);
  }
  serial_fd_ = fd;
  return true;
}

void CBtAdapter::CloseLink() {
  if (bridge_) binding_.Close(bridge_);
  bridge_ = nullptr;
  if (serial_fd_ >= 0) ::close(serial_fd_);
  serial_fd_ = -1;
  open_.store(false);
  connected_ = false;
}

void CBtAdapter::Close() {
  if (open_.load() && connected_) {
    while (PumpOne()) {
    }
    // Some modules never confirm a disconnect: the wait is short.
    if (connected_) Await(BuildBtRequest(0x0D, {0x02}), Event(0x51, 'i'), kDisconnectWait);
  }
  CloseLink();
}

bool CBtAdapter::ReadFromModule() {
  if (!open_.load()) return false;
  uint8_t buffer[BtPacketReader::kBufferSize];
  const size_t room = packets_.Room();
  if (room == 0) return true;
  if (bridge_) {
    usbxpress::DWORD queued = 0;
    usbxpress::DWORD status = 0;
    if (binding_.CheckRxQueue(bridge_, &queued, &status) != usbxpress::kSuccess) {
      CloseLink();
      return false;
    }
    if (queued == 0) return true;
    usbxpress::DWORD done = 0;
    const auto want = static_cast<usbxpress::DWORD>(std::min<size_t>(queued, room));
    if (binding_.Read(bridge_, buffer, want, &done) != usbxpress::kSuccess) {
      CloseLink();
      return false;
    }
    packets_.Append(buffer, std::min<size_t>(done, want));
    return true;
  }
  const ssize_t n = ::read(serial_fd_, buffer, room);
  if (n > 0) {
    packets_.Append(buffer, static_cast<size_t>(n));
  } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
    CloseLink();  // the line hung up
    return false;
  }
  return true;
}

bool CBtAdapter::WriteToModule(const BtBytes &packet) {
  if (!open_.load()) return false;
  if (bridge_) {
    usbxpress::DWORD done = 0;
    if (binding_.Write(bridge_, packet.data(), static_cast<usbxpress::DWORD>(packet.size()),
                       &done) != usbxpress::kSuccess) {
      CloseLink();
      return false;
    }
    return done == packet.size();
  }
  size_t sent = 0;
  const auto deadline = Clock::now() + 1s;
  while (sent < packet.size() && Clock::now() < deadline) {
    const ssize_t n = ::write(serial_fd_, packet.data() + sent, packet.size() - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      CloseLink();
      return false;
    } else {
      pollfd p = {serial_fd_, POLLOUT, 0};
      ::poll(&p, 1, 10);
    }
  }
  return sent == packet.size();
}

bool CBtAdapter::PumpOne() {
  std::optional<BtPacket> packet = packets_.Next();
  if (!packet) {
    if (!ReadFromModule()) return false;
    packet = packets_.Next();
  }
  if (!packet) return false;
  Evaluate(*packet);
  return true;
}

void CBtAdapter::Evaluate(const BtPacket &packet) {
  const uint16_t event = packet.Event();
  const BtBytes &p = packet.payload;
  auto end_wait = [&] {
    if (event == expected_) arrived_ = true;
  };
  switch (event) {
    case Event(0x01, 'i'): {  // an inquiry result: address, class of device
      if (p.size() < 9) break;
      const uint32_t device_class = p[6] | p[7] << 8 | static_cast<uint32_t>(p[8]) << 16;
      const bool wanted =
          class_filter_ == 0 || MajorClass(device_class) == MajorClass(class_filter_);
      if (wanted && inquiry_.size() < kInquiryTableSize) {
        Address address;
        std::copy(p.begin(), p.begin() + 6, address.begin());
        inquiry_.push_back(address);
        if (class_filter_ != 0) {
          // Found: the inquiry ends early.
          expected_ = Event(0x25, 'i');
          WriteToModule(BuildBtRequest(0x26));
        }
      }
      break;
    }
    case Event(0x02, 'C'):  // remote name: status, address, length, name
      if (p.size() < 8) break;
      remote_name_.clear();
      if (p[0] == 0) {
        const size_t length = std::min<size_t>({p[7], kNameLimit, p.size() - 8});
        remote_name_.assign(p.begin() + 8, p.begin() + 8 + static_cast<long>(length));
      }
      end_wait();
      break;
    case Event(0x0A, 'C'):  // connect confirmed or refused
      if (p.size() >= 2 && p[0] != 0) {
        last_status_ = p[0];
        if (expected_ == Event(0x0B, 'i')) arrived_ = true;
      }
      break;
    case Event(0x0B, 'i'):  // the link is up (status 0) or failed
      if (p.size() < 9) break;
      last_status_ = p[0];
      if (p[0] == 0) connected_ = true;
      end_wait();
      break;
    case Event(0x0E, 'i'):  // the link was released
      if (p.size() > 1) connected_ = false;
      end_wait();
      break;
    case Event(0x10, 'i'): {  // data from the reader
      if (p.size() < 3 || p[0] != 0x02) break;
      const size_t length = std::min<size_t>(p[1] | p[2] << 8, p.size() - 3);
      const size_t fits = std::min(length, kDataBufferSize - data_.size());
      data_.insert(data_.end(), p.begin() + 3, p.begin() + 3 + static_cast<long>(fits));
      break;
    }
    case Event(0x25, 'i'):
      if (expected_ == Event(0x25, 'i') || expected_ == Event(0x28, 'C')) arrived_ = true;
      break;
    case Event(0x00, 'C'):
    case Event(0x04, 'C'):
    case Event(0x17, 'C'):
    case Event(0x22, 'C'):
    case Event(0x23, 'C'):
    case Event(0x28, 'C'):
    case Event(0x4A, 'C'):
    case Event(0x4E, 'C'):
      if (!p.empty()) end_wait();
      break;
    default:
      end_wait();
      break;
  }
}

bool CBtAdapter::PumpUntilArrived(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!arrived_ && open_.load()) {
    if (PumpOne()) continue;
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(1ms);
  }
  return arrived_;
}

bool CBtAdapter::Await(const BtBytes &request, uint16_t event, std::chrono::milliseconds limit) {
  arrived_ = false;
  expected_ = event;
  if (!WriteToModule(request)) return false;
  return PumpUntilArrived(limit);
}

bool CBtAdapter::Search() {
  inquiry_.clear();
  class_filter_ = kReaderClass;
  // Inquiry length in units of 1.28 s: the 10 s search less one, at most 48.
  const uint8_t length = static_cast<uint8_t>(std::min<long>(10000 / 1300 - 1, 48));
  const bool found = Await(BuildBtRequest(0x00, {length, 0, 0}), Event(0x00, 'C'), kInquiryWait);
  class_filter_ = 0;
  if (!found || inquiry_.empty()) return false;
  const Address address = inquiry_.front();
  BtBytes name_request(address.begin(), address.end());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    if (!Await(BuildBtRequest(0x02, name_request), Event(0x02, 'C'), kNameWait)) return false;
    if (!remote_name_.empty()) break;
  }
  remote_ = address;
  remote_known_ = true;
  trace::Trace(("Bluetooth reader found: " + remote_name_ + "\n").c_str());
  return true;
}

bool CBtAdapter::ConnectToReader() {
  // 0x02, the reader's address, the channel.
  BtBytes request(8, 0x02);
  std::copy(remote_.begin(), remote_.end(), request.begin() + 1);
  request[7] = kChannel;
  // Wait for the link itself: data sent before the module reports it is lost.
  Await(BuildBtRequest(0x0A, request), Event(0x0B, 'i'), kLinkWait);
  return connected_;
}

bool CBtAdapter::EnsureConnected() {
  if (connected_) return true;
  if (!open_.load()) return false;
  if (failed_before_ && Clock::now() - last_failure_ < kRetryPause) return false;
  if ((remote_known_ || Search()) && ConnectToReader()) return true;
  failed_before_ = true;
  last_failure_ = Clock::now();
  return false;
}

void CBtAdapter::Write(const uint8_t *bytes, size_t count) {
  if (!EnsureConnected()) return;
  // 0x02, the length, the frame.
  BtBytes payload(3 + count);
  payload[0] = 0x02;
  payload[1] = static_cast<uint8_t>(count);
  payload[2] = static_cast<uint8_t>(count >> 8);
  std::copy(bytes, bytes + count, payload.begin() + 3);
  WriteToModule(BuildBtRequest(0x0F, payload));
}

size_t CBtAdapter::Read(uint8_t *buffer, size_t max) {
  if (!EnsureConnected()) return 0;
  while (PumpOne()) {
  }
  const size_t n = std::min(max, data_.size());
  std::copy(data_.begin(), data_.begin() + static_cast<long>(n), buffer);
  data_.erase(data_.begin(), data_.begin() + static_cast<long>(n));
  return n;
}

std::unique_ptr<Transport> OpenBtTransport(std::string_view name) {
  trace::Trace("Init and Create... ");
  auto adapter = std::make_unique<CBtAdapter>(CUSBXpressBinding::Process());
  if (!adapter->Open(name)) {
    trace::Trace("Error\n");
    return nullptr;
  }
  trace::Trace("done\n");
  return adapter;
}

std::vector<std::string> BtAdapterNames(CUSBXpressBinding &binding) {
  std::vector<std::string> names;
  for (const std::string &serial : binding.SerialNumbers()) {
    if (serial.rfind(kAdapterPrefix, 0) != 0 || !IsPlainName(serial)) continue;
    // A serial number holding "HID" or "BTW" would take the name to another route.
    std::string name = serial + " BT";
    if (RouteOf(name) == PortRoute::kBluetooth) names.push_back(std::move(name));
  }
  return names;
}

}  // namespace kovra
