// Serves a SimReader on a pseudo-terminal, so that a host opens the slave side (/dev/pts/N) as it
// would a serial port and talks to the simulated reader through its real serial transport.
#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kovra_sim {
namespace {

constexpr int kPollMs = 500;  // the eventfd ends a wait; this only bounds it
constexpr size_t kReadChunk = 4096;

struct SpeedEntry {
  speed_t speed;
  unsigned baud;
};

constexpr std::array<SpeedEntry, 23> kSpeeds = {{
    {B50, 50},         {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},       {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},     {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},     {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200}, {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B921600, 921600}, {B1000000, 1000000}, {B2000000, 2000000},
}};

std::string ErrnoText(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

unsigned BaudOfSpeed(unsigned speed) {
  for (const SpeedEntry &entry : kSpeeds) {
    if (entry.speed == speed) return entry.baud;
  }
  return 0;
}

PtyServer::PtyServer(HostSide &reader) : reader_(reader) {}

PtyServer::~PtyServer() {
  Stop();
}

bool PtyServer::Start(std::string *error) {
  auto fail = [&](const std::string &what) {
    if (error) *error = ErrnoText(what);
    std::lock_guard<std::mutex> lock(out_mutex_);
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
    return false;
  };
  if (thread_.joinable() || stopped_) {
    if (error) *error = "pty server already started";
    return false;
  }
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return fail("posix_openpt");
  {
    std::lock_guard<std::mutex> lock(out_mutex_);
    master_ = master;
  }
  if (::grantpt(master) != 0) return fail("grantpt");
  if (::unlockpt(master) != 0) return fail("unlockpt");
  char name[128];
  if (::ptsname_r(master, name, sizeof(name)) != 0) return fail("ptsname_r");

  // Raw: a reader's line carries binary frames, nothing may be translated or acted upon.
  termios settings{};
  if (::tcgetattr(master, &settings) != 0) return fail("tcgetattr");
  ::cfmakeraw(&settings);
  ::cfsetispeed(&settings, B19200);
  ::cfsetospeed(&settings, B19200);
  if (::tcsetattr(master, TCSANOW, &settings) != 0) return fail("tcsetattr");
  const int flags = ::fcntl(master, F_GETFL);
  if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");

  // Held for the server's life: without any slave descriptor open the master reports POLLHUP
  // and EIO, which would end serving the first time a host closes the port.
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) return fail(std::string("open ") + name);
  {
    std::lock_guard<std::mutex> lock(out_mutex_);
    slave_ = slave;
  }
  if (!wake_.Valid()) return fail("eventfd");
  path_ = name;

  connection_ =
      reader_.Connect([this](const uint8_t *bytes, size_t count) { OnOutput(bytes, count); },
                      [this] { RequestDrop(); });
  thread_ = std::thread(&PtyServer::Run, this);
  return true;
}

std::string PtyServer::Path() const {
  return path_;
}

std::optional<LineSettings> PtyServer::Line() const {
  termios settings{};
  {
    std::lock_guard<std::mutex> lock(out_mutex_);
    if (slave_ < 0 || ::tcgetattr(slave_, &settings) != 0) return std::nullopt;
  }
  LineSettings line;
  line.baud = BaudOfSpeed(::cfgetospeed(&settings));
  line.parity = (settings.c_cflag & PARENB) != 0;
  line.parity_odd = (settings.c_cflag & PARODD) != 0;
  line.stop_bits = (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;
  switch (settings.c_cflag & CSIZE) {
    case CS5:
      line.data_bits = 5;
      break;
    case CS6:
      line.data_bits = 6;
      break;
    case CS7:
      line.data_bits = 7;
      break;
    default:
      line.data_bits = 8;
      break;
  }
  return line;
}

void PtyServer::RequestDrop() {
  drop_requested_.store(true);
  wake_.Signal();
}

void PtyServer::DropLink() {
  if (!thread_.joinable()) {
    CloseLink();
    return;
  }
  RequestDrop();
  if (std::this_thread::get_id() == thread_.get_id()) return;
  // The thread closes the link and ends: nothing is left to serve.
  thread_.join();
}

void PtyServer::Stop() {
  if (stopped_) return;
  stopped_ = true;
  // First, so that no reply is on its way into the pty while it closes.
  if (connection_ != 0) reader_.Disconnect(connection_);
  stopping_.store(true);
  wake_.Signal();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(out_mutex_);
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
  if (held_number_ >= 0) ::close(held_number_);
  master_ = slave_ = held_number_ = -1;
}

void PtyServer::CloseLink() {
  {
    std::lock_guard<std::mutex> lock(out_mutex_);
    if (master_ >= 0) ::close(master_);
    // The server's own slave descriptor, hung up with every other one by the master's close,
    // stays open until Stop(): it keeps the pty's number taken, so a host that keeps re-opening
    // the lost path finds it gone instead of the next pty the system hands out under that name.
    held_number_ = slave_;
    master_ = slave_ = -1;
    out_.Clear();
  }
  dropped_.store(true);
  // Replies still on their way have nowhere to go. (Without effect when the reader dropped the
  // link itself: it has let go of this connection already.)
  reader_.Disconnect(connection_);
}

void PtyServer::OnOutput(const uint8_t *bytes, size_t count) {
  bool blocked = false;
  {
    std::lock_guard<std::mutex> lock(out_mutex_);
    if (master_ < 0) return;
    blocked = out_.Push(master_, bytes, count);
  }
  // The thread waits for the master to become writable again.
  if (blocked) wake_.Signal();
}

void PtyServer::Run() {
  uint8_t buffer[kReadChunk];
  for (;;) {
    if (stopping_.load()) return;
    if (drop_requested_.load()) {
      CloseLink();
      return;
    }
    bool want_write = false;
    int master = -1;
    {
      std::lock_guard<std::mutex> lock(out_mutex_);
      want_write = !out_.Empty();
      master = master_;  // only this thread closes it while running
    }
    pollfd fds[2] = {{wake_.Fd(), POLLIN, 0},
                     {master, static_cast<short>(POLLIN | (want_write ? POLLOUT : 0)), 0}};
    const int ready = ::poll(fds, 2, kPollMs);
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    if (fds[0].revents & POLLIN) {
      wake_.Drain();
      continue;  // look at the flags first
    }
    if (fds[1].revents & POLLOUT) {
      std::lock_guard<std::mutex> lock(out_mutex_);
      out_.Flush(master_);
    }
    if (fds[1].revents & POLLIN) {
      const ssize_t n = ::read(master, buffer, sizeof(buffer));
      if (n > 0) {
        // The host may have changed the line since; the link model reads the baud rate from it.
        reader_.SetLineSettings(Line());
        reader_.Receive(buffer, static_cast<size_t>(n));
      }
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
      // Not expected while the own slave descriptor is open; wait for a wake instead of spinning.
      pollfd wake = {wake_.Fd(), POLLIN, 0};
      ::poll(&wake, 1, 50);
    }
  }
}

}  // namespace kovra_sim
