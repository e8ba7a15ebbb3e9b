// CTCPSocketThread: the transport of a network reader, one TCP connection carrying the reader
// protocol (names: lan_name.h).
#include "transport/lan/lan_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "kovra.h"
#include "transport/lan/lan_adapters.h"
#include "transport/lan/lan_name.h"
#include "transport/lan_config/lan_config_link.h"
#include "transport/link_failure.h"

namespace kovra {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 4096;
// Reads per wake-up before the worker looks at its stop flag and its send queue again: a reader
// that never stops sending must not keep the worker from either.
constexpr int kReadsPerWake = 16;
constexpr milliseconds kStartMargin{1000};

int LinkFailureForConnect(int error) {
  switch (error) {
    case ETIMEDOUT:
      return KOVRA_LINK_TIMEOUT;
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EADDRNOTAVAIL:
      return KOVRA_LINK_NO_DEVICE;
    default:
      return KOVRA_LINK_OTHER;
  }
}

// Waits for a non-blocking connect to finish. Result: 0 when connected, else the errno of the
// failure (ETIMEDOUT when the time ran out or `stopped` said so after a wake-up).
int AwaitConnect(int fd, milliseconds timeout, int wake_fd, const std::function<bool()> &stopped) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || (stopped && stopped())) return ETIMEDOUT;
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wake_fd, POLLIN, 0}};
    const int ready = ::poll(fds, wake_fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) return errno;
    if (ready > 0 && (fds[1].revents & POLLIN)) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = ::read(wake_fd, &count, sizeof count);
    }
    if (ready > 0 && fds[0].revents != 0) {
      int error = 0;
      socklen_t length = sizeof error;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
      return error;
    }
  }
}

}  // namespace

CTCPSocketThread::CTCPSocketThread(ReceiveSink &sink) : sink_(sink) {}

CTCPSocketThread::~CTCPSocketThread() {
  Close();
}

milliseconds CTCPSocketThread::StartBound(size_t adapter_count) {
  return lan::kIdentityWindow * static_cast<int>(adapter_count + 1) + kConnectTimeout +
         kStartMargin;
}

bool CTCPSocketThread::Open(const std::string &name) {
  Close();
  event_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (event_fd_ < 0) {
    failure_.store(KOVRA_LINK_OTHER);
    return false;
  }
  failure_.store(KOVRA_LINK_OK);
  start_ = Start::kPending;
  stop_.store(false);
  try {
    worker_ = std::thread([this, name] { Run(name); });
  } catch (const std::system_error &) {
    failure_.store(KOVRA_LINK_OTHER);
    Close();
    return false;
  }
  // The worker reports at the end of its first connect. That has bounds of its own, but the wait
  // must end even if the worker never gets that far, so the open cannot hang the caller.
  bool reported = false;
  bool connected = false;
  {
    std::unique_lock<std::mutex> lock(start_mutex_);
    reported = started_.wait_for(lock, StartBound(lan::EnumerateAdapters().size()),
                                 [this] { return start_ != Start::kPending; });
    connected = start_ == Start::kConnected;
  }
  if (!connected) {
    Close();  // a worker that did not report is told to stop; each of its steps is bounded
    if (!reported) failure_.store(KOVRA_LINK_TIMEOUT);
    return false;
  }
  open_.store(true);
  return true;
}

void CTCPSocketThread::ReportStart(Start state) {
  std::lock_guard<std::mutex> lock(start_mutex_);
  start_ = state;
  started_.notify_all();
}

void CTCPSocketThread::Run(std::string name) {
  lan::LanConfigLink config;
  const std::string resolved = config.ResolveTargetName(name);
  const auto target = lan::SplitTarget(resolved);
  in_addr checked{};
  // An empty or malformed address must not be looked up as a host name (an empty one would be
  // the local machine): only a dotted address is connected to.
  if (resolved.empty() || !target || ::inet_pton(AF_INET, target->address.c_str(), &checked) != 1) {
    failure_.store(KOVRA_LINK_NO_DEVICE);
    ReportStart(Start::kFailed);
    return;
  }
  target_address_ = target->address;
  target_port_ = target->port;
  bind_address_ =
      lan::ChooseAdapter(config.Adapters(), lan::BestRoute(target_address_), target_address_);
  if (!Connect()) {
    ReportStart(Start::kFailed);
    return;
  }
  ReportStart(Start::kConnected);
  Serve();
  DropConnection();
}

bool CTCPSocketThread::Connect() {
  int error = 0;
  socket_fd_ = ConnectSocket(
      bind_address_, target_address_, target_port_, kConnectTimeout, event_fd_,
      [this] { return stop_.load(); }, error);
  if (socket_fd_ < 0) {
    failure_.store(LinkFailureForConnect(error));
    return false;
  }
  connected_.store(true);
  return true;
}

int CTCPSocketThread::ConnectSocket(const std::string &bind_address, const std::string &address,
                                    uint16_t port, milliseconds timeout, int wake_fd,
                                    const std::function<bool()> &stopped, int &error) {
  sockaddr_in local{};
  sockaddr_in peer{};
  if (!lan::ToSocketAddress(bind_address, 0, local) || address.empty() ||
      !lan::ToSocketAddress(address, port, peer)) {
    error = EADDRNOTAVAIL;
    return -1;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  // Local port 0: the system picks a free one. A fixed local port (the reader's own) would be
  // refused while an earlier connection on it waits out TIME_WAIT, and reconnects would fail.
  // TCP_NODELAY: a command frame is one small write that waits for its reply; Nagle's algorithm
  // would hold a frame back until the reader acknowledged the one before.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  error = 0;
  if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
    error = errno;
  } else if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) != 0) {
    error = errno;
    if (error == EINPROGRESS) error = AwaitConnect(fd, timeout, wake_fd, stopped);
  }
  if (error != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool CTCPSocketThread::WaitSocket(short events, milliseconds timeout) {
  pollfd fds[2] = {{socket_fd_, events, 0}, {event_fd_, POLLIN, 0}};
  if (::poll(fds, 2, static_cast<int>(timeout.count())) <= 0) return false;
  if (fds[1].revents & POLLIN) {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(event_fd_, &count, sizeof count);
  }
  return fds[0].revents != 0;
}

void CTCPSocketThread::DropConnection() {
  connected_.store(false);
  if (socket_fd_ >= 0) ::close(socket_fd_);
  socket_fd_ = -1;
}

void CTCPSocketThread::Serve() {
  while (!stop_.load()) {
    // No timeout: received bytes, a queued frame, stop and a dropped connection all wake the
    // poll. Without a connection only the eventfd is watched (poll ignores a negative fd).
    pollfd fds[2] = {{socket_fd_, POLLIN, 0}, {event_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents & POLLIN) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = ::read(event_fd_, &count, sizeof count);
    }
    if (stop_.load()) break;
    if (socket_fd_ >= 0 && fds[0].revents != 0) ReadAvailable();
    SendQueued();
  }
}

void CTCPSocketThread::ReadAvailable() {
  uint8_t chunk[kReadChunk];
  for (int reads = 0; reads < kReadsPerWake && !stop_.load(); ++reads) {
    const ssize_t got = ::recv(socket_fd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (got > 0) {
      sink_.OnBytesReceived(chunk, static_cast<size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    DropConnection();  // the reader closed the connection, or it failed: reconnect on next send
    return;
  }
}

void CTCPSocketThread::SendQueued() {
  for (;;) {
    std::vector<uint8_t> frame;
    {
      std::lock_guard<std::mutex> lock(queue_lock_);
      if (queue_.empty()) return;
      frame = std::move(queue_.front());
      queue_.pop_front();
    }
    if (stop_.load()) return;
    SendFrame(frame);  // a frame that cannot go out is dropped; its command times out
  }
}

bool CTCPSocketThread::SendFrame(const std::vector<uint8_t> &frame) {
  if (socket_fd_ < 0 && !Connect()) return false;
  size_t sent = 0;
  const auto deadline = Clock::now() + kSendTimeout;
  while (sent < frame.size()) {
    const ssize_t n =
        ::send(socket_fd_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && left.count() > 0 && !stop_.load()) {
      WaitSocket(POLLOUT, left);
      continue;
    }
    DropConnection();
    return false;
  }
  return true;
}

void CTCPSocketThread::Write(const uint8_t *bytes, size_t count) {
  if (bytes == nullptr || count == 0 || !open_.load()) return;
  {
    std::lock_guard<std::mutex> lock(queue_lock_);
    queue_.emplace_back(bytes, bytes + count);
  }
  SignalWorker();
}

void CTCPSocketThread::SignalWorker() {
  if (event_fd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(event_fd_, &one, sizeof one);
}

void CTCPSocketThread::Close() {
  open_.store(false);
  if (worker_.joinable()) {
    stop_.store(true);
    SignalWorker();
    worker_.join();
  }
  DropConnection();
  if (event_fd_ >= 0) ::close(event_fd_);
  event_fd_ = -1;
  std::lock_guard<std::mutex> lock(queue_lock_);
  queue_.clear();
}

std::unique_ptr<Transport> OpenLanTransport(const std::string &name, ReceiveSink &sink) {
  auto link = std::make_unique<CTCPSocketThread>(sink);
  if (!link->Open(name)) {
    SetLinkFailure(link->Failure());
    return nullptr;
  }
  return link;
}

}  // namespace kovra
