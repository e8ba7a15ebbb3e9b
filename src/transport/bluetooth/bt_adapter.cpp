// CBtAdapter: the transport of a reader reached over Bluetooth, through a Bluetooth module behind a
// USBXpress USB bridge (usbxpress_binding.h) or, as a fallback, behind a serial line.
#include "transport/bluetooth/bt_adapter.h"

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
#include "transport/serial/serial_name.h"
#include "transport/serial/tty_open.h"
#include "transport/vendor_handle.h"

namespace kovra {
namespace {

using namespace std::chrono_literals;

constexpr uint8_t kChannel = 2;
constexpr size_t kInquiryTableSize = 29;
constexpr size_t kNameLimit = 30;
constexpr int kNameAttempts = 6;
constexpr int kMaxPumpSteps = 256;
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

}  // namespace

uint32_t DeviceKind(uint32_t device_class) {
  return device_class & 0x1FFC;
}

bool CBtAdapter::Open(std::string_view name) {
  Close();
  const std::string plain = WithoutBt(name);
  bool found = false;
  if (!OpenBridge(plain, found) && (found || !OpenSerial(plain))) return false;
  open_.store(true);
  EnterPhase(Phase::kWaking, bridge_ ? kBridgeBreak : kLineBreak);
  // One read tells a bridge or line that cannot be read from before the port is handed out.
  const bool over_bridge = bridge_ != nullptr;
  bool got = false;
  if (!ReadFromModule(got)) {
    SetLinkFailure(over_bridge ? KOVRA_LINK_OTHER : KOVRA_LINK_NO_DEVICE);
    return false;
  }
  return true;
}

bool CBtAdapter::OpenBridge(const std::string &serial, bool &found) {
  const std::vector<std::string> serials = binding_.SerialNumbers();
  for (size_t index = 0; index < serials.size(); ++index) {
    if (!SameIgnoringCase(serials[index], serial)) continue;
    found = true;
    using usbxpress::kSuccess;
    // Past the open the bridge's library gives no reason a person could act on: every failure
    // reads as "refused for another reason".
    SetLinkFailure(KOVRA_LINK_OTHER);
    if (binding_.SetTimeouts(1000, 1000) != kSuccess) return false;
    usbxpress::HANDLE handle = nullptr;
    if (binding_.Open(static_cast<usbxpress::DWORD>(index), &handle) != kSuccess ||
        !IsUsableVendorHandle(handle)) {
      // Listed a moment ago but not opened: gone, as a failed FTDI open reads.
      SetLinkFailure(KOVRA_LINK_NO_DEVICE);
      return false;
    }
    // 921600 baud, 8N1, CTS as handshake input, RTS driven by the bridge, DTR first inactive,
    // then active after the flush; a break wakes the module (ended by the first poll after
    // kBridgeBreak).
    const bool set_up = binding_.SetBaudRate(handle, 921600) == kSuccess &&
                        binding_.SetLineControl(handle, 0x0800) == kSuccess &&
                        binding_.SetFlowControl(handle, 1, 2, 0) == kSuccess &&
                        binding_.FlushBuffers(handle, 1, 1) == kSuccess &&
                        binding_.SetFlowControl(handle, 1, 2, 1) == kSuccess &&
                        binding_.SetBreak(handle, 1) == kSuccess;
    if (!set_up) {
      binding_.Close(handle);
      return false;
    }
    bridge_ = handle;
    break_on_ = true;
    SetLinkFailure(KOVRA_LINK_OK);
    return true;
  }
  return false;
}

bool CBtAdapter::OpenSerial(const std::string &name) {
  const SerialDevice device = NormaliseSerialName(name);
  if (device.use_d2xx) {
    // Neither a bridge's serial number nor a serial line.
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
  // The break wakes the module; it is ended by the first poll after kLineBreak (a line without
  // breaks, such as a pty, refuses it, and then there is nothing to end).
  break_on_ = ::ioctl(fd, TIOCSBRK) == 0;
  serial_fd_ = fd;
  return true;
}

bool CBtAdapter::SetBreak(bool on) {
  break_on_ = on;
  if (bridge_) return binding_.SetBreak(bridge_, on ? 1 : 0) == usbxpress::kSuccess;
  if (serial_fd_ >= 0) ::ioctl(serial_fd_, on ? TIOCSBRK : TIOCCBRK);
  return true;
}

void CBtAdapter::CloseLink() {
  if (bridge_) binding_.Close(bridge_);
  bridge_ = nullptr;
  if (serial_fd_ >= 0) ::close(serial_fd_);
  serial_fd_ = -1;
  break_on_ = false;
  open_.store(false);
  link_up_ = false;
  phase_ = Phase::kIdle;
  held_frame_.reset();
  packets_ = BtPacketReader{};
  data_.clear();
}

void CBtAdapter::Close() {
  if (open_.load() && phase_ == Phase::kConnected) {
    Pump();
    // Some modules never confirm a disconnect: the wait is short.
    if (link_up_ && Request(BuildBtRequest(0x0D, {0x02}), Event(0x51, 'i'))) {
      const auto deadline = Clock::now() + kDisconnectWait;
      while (open_.load() && !arrived_ && Clock::now() < deadline) {
        Pump();
        if (!arrived_) std::this_thread::sleep_for(1ms);
      }
    }
  }
  if (open_.load() && break_on_) SetBreak(false);
  CloseLink();
}

bool CBtAdapter::ReadFromModule(bool &got) {
  got = false;
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
    got = packets_.Append(buffer, std::min<size_t>(done, want)) > 0;
    return true;
  }
  const ssize_t n = ::read(serial_fd_, buffer, room);
  if (n > 0) {
    got = packets_.Append(buffer, static_cast<size_t>(n)) > 0;
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

void CBtAdapter::Pump() {
  int packets = 0;
  for (int step = 0; step < kMaxPumpSteps && packets < kMaxPacketsPerPoll && open_.load(); ++step) {
    if (std::optional<BtPacket> packet = packets_.Next()) {
      Evaluate(*packet);
      ++packets;
      continue;
    }
    bool got = false;
    if (!ReadFromModule(got)) return;
    if (got) continue;
    // Nothing more to come now: a partial packet that stopped growing is given up.
    if (!packets_.DropStalePartial()) return;
  }
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
      Address address;
      std::copy(p.begin(), p.begin() + 6, address.begin());
      const bool wanted =
          class_filter_ == 0 ||
          (DeviceKind(device_class) == DeviceKind(class_filter_) && !Refused(address));
      if (wanted && inquiry_.size() < kInquiryTableSize) {
        inquiry_.push_back(address);
        if (class_filter_ != 0 && expected_ != Event(0x25, 'i')) {
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
      if (p[0] == 0) link_up_ = true;
      end_wait();
      break;
    case Event(0x0E, 'i'):  // the link was released
      if (p.size() > 1) link_up_ = false;
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

bool CBtAdapter::Request(const BtBytes &request, uint16_t event) {
  arrived_ = false;
  expected_ = event;
  return WriteToModule(request);
}

void CBtAdapter::EnterPhase(Phase phase, std::chrono::milliseconds limit) {
  phase_ = phase;
  phase_deadline_ = Clock::now() + limit;
}

bool CBtAdapter::Refused(const Address &address) const {
  return std::find(refused_.begin(), refused_.end(), address) != refused_.end();
}

void CBtAdapter::GiveUp() {
  class_filter_ = 0;
  phase_ = Phase::kIdle;
  failed_before_ = true;
  last_failure_ = Clock::now();
}

void CBtAdapter::StartSearch() {
  inquiry_.clear();
  class_filter_ = kReaderClass;
  // Inquiry length in units of 1.28 s: the 10 s search less one, at most 48.
  const uint8_t length = static_cast<uint8_t>(std::min<long>(10000 / 1300 - 1, 48));
  if (!Request(BuildBtRequest(0x00, {length, 0, 0}), Event(0x00, 'C'))) return GiveUp();
  EnterPhase(Phase::kInquiry, kInquiryWait);
}

void CBtAdapter::StartNameRequest() {
  const Address &address = inquiry_.front();
  if (!Request(BuildBtRequest(0x02, BtBytes(address.begin(), address.end())), Event(0x02, 'C'))) {
    return GiveUp();
  }
  ++name_attempts_;
  EnterPhase(Phase::kNaming, kNameWait);
}

void CBtAdapter::StartConnect() {
  // 0x02, the reader's address, the channel.
  BtBytes request(8, 0x02);
  std::copy(remote_.begin(), remote_.end(), request.begin() + 1);
  request[7] = kChannel;
  if (!Request(BuildBtRequest(0x0A, request), Event(0x0B, 'i'))) return GiveUp();
  EnterPhase(Phase::kConnecting, kLinkWait);
}

void CBtAdapter::OnLinkUp() {
  phase_ = Phase::kConnected;
  failed_before_ = false;
  if (held_frame_) {
    WriteToModule(*held_frame_);
    held_frame_.reset();
  }
}

void CBtAdapter::Advance() {
  if (!open_.load()) return;
  Pump();
  if (!open_.load()) return;
  const Clock::time_point now = Clock::now();
  const bool settled = phase_ != Phase::kWaking && phase_ != Phase::kReady;
  // A link indication that came after its wait had ended still counts.
  if (settled && link_up_ && phase_ != Phase::kConnected) return OnLinkUp();
  switch (phase_) {
    case Phase::kWaking:
      if (now < phase_deadline_) return;
      if (!SetBreak(false)) return CloseLink();
      // The module answers 0x25 once it is ready; whether it does in time does not matter.
      if (Request(BuildBtRequest(0x26), Event(0x25, 'i'))) EnterPhase(Phase::kReady, kReadyWait);
      return;
    case Phase::kReady:
      if (!arrived_ && now < phase_deadline_) return;
      phase_ = Phase::kIdle;
      [[fallthrough]];
    case Phase::kIdle:
      if (failed_before_ && now - last_failure_ < kRetryPause) return;
      return remote_known_ ? StartConnect() : StartSearch();
    case Phase::kInquiry:
      if (arrived_) {
        class_filter_ = 0;
        if (!inquiry_.empty()) {
          name_attempts_ = 0;
          return StartNameRequest();
        }
        // Nothing but devices that refused us: they get another chance next time.
        refused_.clear();
        return GiveUp();
      }
      if (now >= phase_deadline_) return GiveUp();
      return;
    case Phase::kNaming:
      if (arrived_) {
        if (remote_name_.empty() && name_attempts_ < kNameAttempts) return StartNameRequest();
        remote_ = inquiry_.front();
        remote_known_ = true;
        trace::Trace(("Bluetooth reader found: " + remote_name_ + "\n").c_str());
        return StartConnect();
      }
      if (now >= phase_deadline_) return GiveUp();
      return;
    case Phase::kConnecting:
      if (arrived_) {
        // Refused (no serial port service: a device of the reader's class that is no reader) or
        // the link failed: the search goes on without this device.
        trace::Trace("Bluetooth device refused the connection\n");
        if (refused_.size() < kInquiryTableSize) refused_.push_back(remote_);
        remote_known_ = false;
        return StartSearch();
      }
      if (now >= phase_deadline_) return GiveUp();
      return;
    case Phase::kConnected:
      if (!link_up_) phase_ = Phase::kIdle;  // released: connected again at the next poll
      return;
  }
}

void CBtAdapter::Write(const uint8_t *bytes, size_t count) {
  // 0x02, the length, the frame.
  BtBytes payload(3 + count);
  payload[0] = 0x02;
  payload[1] = static_cast<uint8_t>(count);
  payload[2] = static_cast<uint8_t>(count >> 8);
  std::copy(bytes, bytes + count, payload.begin() + 3);
  // Held first, so that a link that comes up in Advance takes this frame and not an older one.
  held_frame_ = BuildBtRequest(0x0F, payload);
  Advance();
  if (phase_ == Phase::kConnected && held_frame_) {
    WriteToModule(*held_frame_);
    held_frame_.reset();
  }
}

size_t CBtAdapter::Read(uint8_t *buffer, size_t max) {
  Advance();
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
