// CUSBSerialPort: the serial transport of a reader port, on a Linux tty through termios.
#include "transport/serial/serial_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "kovra.h"
#include "reader/trace.h"
#include "transport/link_failure.h"
#include "transport/serial/serial_name.h"
#include "transport/serial/tty_open.h"

namespace kovra {
namespace {

// The kernel's termios2 (asm-generic layout, as on x86-64 and arm64). glibc's <termios.h> and the
// kernel header that declares it cannot both be included, and glibc's own speed functions only
// know the fixed Bxxx rates, so a rate such as 250000 goes through TCSETS2 with BOTHER.
struct KernelTermios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};
static_assert(sizeof(KernelTermios2) == 44, "kernel termios2 layout");
constexpr unsigned long kTcGets2 = _IOR('T', 0x2A, KernelTermios2);
constexpr unsigned long kTcSets2 = _IOW('T', 0x2B, KernelTermios2);
constexpr tcflag_t kBaudOther = CBAUDEX;  // BOTHER has the value of CBAUDEX in the generic layout
constexpr int kInputBaudShift = 16;       // IBSHIFT: the input speed bits sit above CBAUD

constexpr size_t kReadChunk = 256;

// The Bxxx constant of a standard rate, or 0 when the rate needs termios2.
speed_t StandardSpeed(int baud) {
  static constexpr struct {
    int baud;
    speed_t speed;
  } kRates[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000},
  };
  for (const auto &rate : kRates) {
    if (rate.baud == baud) return rate.speed;
  }
  return 0;
}

// Character size and parity bits of c_cflag; false for a value the line cannot carry.
bool FramingFlags(char parity, int data_bits, int stop_bits, tcflag_t &flags) {
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  if (data_bits < 5 || data_bits > 8 || (stop_bits != 1 && stop_bits != 2)) return false;
  flags = kSizes[data_bits - 5] | (stop_bits == 2 ? CSTOPB : 0);
  switch (parity) {
    case 'N':
    case 'n':
      return true;
    case 'E':
    case 'e':
      flags |= PARENB;
      return true;
    case 'O':
    case 'o':
      flags |= PARENB | PARODD;
      return true;
    case 'M':  // mark: the parity bit is always 1
    case 'm':
      flags |= PARENB | CMSPAR | PARODD;
      return true;
    case 'S':  // space: the parity bit is always 0
    case 's':
      flags |= PARENB | CMSPAR;
      return true;
    default:
      return false;
  }
}

bool SetCustomSpeed(int fd, int baud) {
  KernelTermios2 tio2{};
  if (::ioctl(fd, kTcGets2, &tio2) != 0) return false;
  tio2.c_cflag &= ~(CBAUD | (CBAUD << kInputBaudShift));
  tio2.c_cflag |= kBaudOther | (kBaudOther << kInputBaudShift);
  tio2.c_ispeed = static_cast<speed_t>(baud);
  tio2.c_ospeed = static_cast<speed_t>(baud);
  return ::ioctl(fd, kTcSets2, &tio2) == 0;
}

// Raw 8-bit transfer without flow control. Each setting is tried on its own and a refusal is
// ignored: a pseudo-terminal, for one, has no modem lines, and a device that refuses a setting
// shows it by not answering the version query that follows the open.
void ConfigureLine(int fd, int baud, char parity, int data_bits, int stop_bits) {
  termios tio{};
  tcflag_t framing = 0;
  const speed_t standard = baud > 0 ? StandardSpeed(baud) : 0;
  if (FramingFlags(parity, data_bits, stop_bits, framing) && ::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);  // also VMIN 1, VTIME 0: a read never returns 0 for "nothing there"
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | framing;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (standard != 0) {
      ::cfsetispeed(&tio, standard);
      ::cfsetospeed(&tio, standard);
    }
    ::tcsetattr(fd, TCSANOW, &tio);
  }
  // A rate of 0 or less is left alone: B0 would hang the line up.
  if (baud > 0 && standard == 0) SetCustomSpeed(fd, baud);
  const int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIS, &lines);
}

}  // namespace

CUSBSerialPort::CUSBSerialPort(ReceiveSink &sink) : sink_(sink) {}

CUSBSerialPort::~CUSBSerialPort() {
  Close();
}

bool CUSBSerialPort::Open(std::string_view name, int baud, char parity, int data_bits,
                          int stop_bits) {
  Close();
  const SerialDevice device = NormaliseSerialName(name);
  use_d2xx_ = device.use_d2xx;
  // FTDI devices without a tty are driven through the vendor's D2XX library by CD2xxPort
  // (d2xx_port.h); this transport only opens devices.
  if (device.use_d2xx) {
    SetLinkFailure(KOVRA_LINK_NOT_SUPPORTED);
    return false;
  }

  // Exclusive use: the flock keeps out every other open that asks for it, in this process too
  // and by root (whom TIOCEXCL does not stop); TIOCEXCL keeps out other programs that take no
  // lock.
  const int fd = OpenTtyExclusively(device.device);
  if (fd < 0) return false;
  ::ioctl(fd, TIOCEXCL);
  ConfigureLine(fd, baud, parity, data_bits, stop_bits);
  ::tcflush(fd, TCIOFLUSH);

  event_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (event_fd_ < 0) {
    SetLinkFailure(KOVRA_LINK_OTHER);
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return false;
  }
  std::lock_guard<std::mutex> lock(write_lock_);
  device_fd_ = fd;
  link_up_ = true;
  pending_.reserve(kWriteBufferSize);
  open_.store(true);
  return true;
}

bool CUSBSerialPort::StartThread() {
  if (thread_.joinable()) return false;
  int fd = -1;
  {
    std::lock_guard<std::mutex> lock(write_lock_);
    if (!link_up_) return false;
    fd = device_fd_;
  }
  stop_requested_.store(false);
  running_.store(true);
  try {
    thread_ = std::thread([this, fd] { ThreadMain(fd); });
  } catch (const std::system_error &) {
    running_.store(false);
    return false;
  }
  return true;
}

void CUSBSerialPort::Write(const uint8_t *bytes, size_t count) {
  if (bytes == nullptr || count == 0) return;
  {
    std::lock_guard<std::mutex> lock(write_lock_);
    if (!link_up_ || count > kWriteBufferSize - pending_.size()) return;
    pending_.insert(pending_.end(), bytes, bytes + count);
  }
  SignalThread();
}

size_t CUSBSerialPort::PendingBytes() const {
  std::lock_guard<std::mutex> lock(write_lock_);
  return pending_.size();
}

void CUSBSerialPort::Close() {
  if (thread_.joinable()) {
    stop_requested_.store(true);
    SignalThread();
    thread_.join();
  }
  running_.store(false);
  stop_requested_.store(false);
  open_.store(false);
  {
    std::lock_guard<std::mutex> lock(write_lock_);
    if (device_fd_ >= 0) {
      ::ioctl(device_fd_, TIOCNXCL);  // the tty outlives this descriptor when others hold it
      ::close(device_fd_);            // also releases the flock
      device_fd_ = -1;
    }
    link_up_ = false;
    std::vector<uint8_t>().swap(pending_);
  }
  if (event_fd_ >= 0) {
    ::close(event_fd_);
    event_fd_ = -1;
  }
}

void CUSBSerialPort::SignalThread() {
  if (event_fd_ < 0) return;
  const uint64_t one = 1;
  // Only fails when the counter is near overflow, and then the thread is woken anyway.
  [[maybe_unused]] const ssize_t written = ::write(event_fd_, &one, sizeof one);
}

void CUSBSerialPort::ThreadMain(int fd) {
  bool want_writable = false;
  for (;;) {
    pollfd fds[2] = {
        {fd, static_cast<short>(POLLIN | (want_writable ? POLLOUT : 0)), 0},
        {event_fd_, POLLIN, 0},
    };
    // No timeout: every reason to wake (data, room to write, a queued frame, shutdown, hangup)
    // is an event on one of the two descriptors, and Close wakes the thread through the eventfd.
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      DropDevice();
      break;
    }
    const bool woken = (fds[1].revents & POLLIN) != 0;
    if (woken) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = ::read(event_fd_, &count, sizeof count);
    }
    if (stop_requested_.load()) break;

    const short device_events = fds[0].revents;
    bool alive = true;
    if (device_events & POLLIN) alive = ReadAvailable(fd);
    // A hangup is the unplug of a USB adapter, or for a pseudo-terminal the master side closing.
    // (A pty slave also reports it while no master was ever open; a port is only opened on a
    // connected device.)
    if (device_events & (POLLHUP | POLLERR | POLLNVAL)) alive = false;
    if (alive && (woken || (device_events & POLLOUT))) alive = WritePending(fd, want_writable);
    if (!alive) {
      DropDevice();
      break;
    }
  }
  running_.store(false);
}

bool CUSBSerialPort::ReadAvailable(int fd) {
  uint8_t chunk[kReadChunk];
  // Bounded: a device that never stops sending must not keep the thread from its stop flag and
  // its send queue; what is left is read on the next turn of the poll loop.
  constexpr int kReadsPerWake = 16;
  for (int reads = 0; reads < kReadsPerWake && !stop_requested_.load(); ++reads) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got > 0) {
      sink_.OnBytesReceived(chunk, static_cast<size_t>(got));
      if (static_cast<size_t>(got) < sizeof chunk) return true;  // that was all
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    return false;  // end of file (hung up) or a read error: the device is gone
  }
  return true;
}

bool CUSBSerialPort::WritePending(int fd, bool &want_writable) {
  std::lock_guard<std::mutex> lock(write_lock_);
  want_writable = false;
  while (!pending_.empty()) {
    const ssize_t sent = ::write(fd, pending_.data(), pending_.size());
    if (sent > 0) {
      pending_.erase(pending_.begin(), pending_.begin() + sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
      // The device is full: the rest stays queued, in front of any later frame, until poll
      // reports room.
      want_writable = true;
      return true;
    }
    return false;  // a tty refuses a write only when its line is gone
  }
  return true;
}

void CUSBSerialPort::DropDevice() {
  std::lock_guard<std::mutex> lock(write_lock_);
  link_up_ = false;
  pending_.clear();
  if (device_fd_ >= 0) {
    ::close(device_fd_);
    device_fd_ = -1;
  }
}

std::unique_ptr<Transport> OpenSerialTransport(std::string_view name, int baud_argument,
                                               ReceiveSink &sink) {
  trace::Trace("Init and Create... ");
  const LineSettings line = LineSettingsFromBaudArgument(baud_argument);
  auto serial = std::make_unique<CUSBSerialPort>(sink);
  if (!serial->Open(name, line.baud, line.parity, 8, line.stop_bits)) {
    trace::Trace("Error\n");
    return nullptr;
  }
  // Without its thread the port would never receive: every command would time out.
  if (!serial->StartThread()) {
    SetLinkFailure(KOVRA_LINK_OTHER);
    trace::Trace("Error\n");
    return nullptr;
  }
  trace::Trace("done\n");
  return serial;
}

}  // namespace kovra
