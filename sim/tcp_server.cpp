// Serves a SimReader's protocol over TCP, as a network reader does on its reader port (10001 by
// default).
#include "sim/tcp_server.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace kovra_sim {
namespace {

constexpr int kPollMs = 500;  // the eventfd ends a wait; this only bounds it
constexpr size_t kReadChunk = 4096;
// Before a reset the part of the reply that goes out must have reached the host: a reset throws
// away what is still in the send queue.
constexpr auto kDrainBeforeReset = std::chrono::milliseconds(200);

std::string ErrnoText(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

void SetOption(int fd, int level, int name, int value) {
  ::setsockopt(fd, level, name, &value, sizeof(value));
}

// Waits until the kernel has sent and seen acknowledged what was written, or the time is up.
void Drain(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + kDrainBeforeReset;
  int unsent = 0;
  while (::ioctl(fd, SIOCOUTQ, &unsent) == 0 && unsent > 0 &&
         std::chrono::steady_clock::now() < deadline) {
    ::poll(nullptr, 0, 1);
  }
}

}  // namespace

TcpServer::TcpServer(SimReader &reader) : reader_(reader) {}

TcpServer::~TcpServer() {
  Stop();
}

bool TcpServer::Start(const Ipv4 &address, uint16_t port, std::string *error) {
  auto fail = [&](const std::string &what) {
    if (error) *error = ErrnoText(what);
    if (listen_fd_ >= 0) ::close(listen_fd_);
    listen_fd_ = -1;
    return false;
  };
  if (thread_.joinable() || stopped_) {
    if (error) *error = "tcp server already started";
    return false;
  }
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) return fail("socket");
  // A reader that restarts listens on its port again at once, whatever TIME_WAIT is left.
  SetOption(listen_fd_, SOL_SOCKET, SO_REUSEADDR, 1);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  std::memcpy(&local.sin_addr, address.data(), 4);
  const std::string where = DottedAddress(address) + ":" + std::to_string(port);
  if (::bind(listen_fd_, reinterpret_cast<const sockaddr *>(&local), sizeof(local)) != 0) {
    return fail("bind " + where);
  }
  if (::listen(listen_fd_, 4) != 0) return fail("listen " + where);
  socklen_t length = sizeof(local);
  if (::getsockname(listen_fd_, reinterpret_cast<sockaddr *>(&local), &length) != 0) {
    return fail("getsockname");
  }
  port_ = ntohs(local.sin_port);
  if (!wake_.Valid()) return fail("eventfd");
  thread_ = std::thread(&TcpServer::Run, this);
  return true;
}

bool TcpServer::Connected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connection_fd_ >= 0;
}

void TcpServer::RequestClose(uint64_t generation, Close how) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connection_fd_ < 0 || (generation != 0 && generation != generation_)) return;
    close_generation_ = generation_;
    close_how_ = how;
  }
  wake_.Signal();
}

void TcpServer::DropLink() {
  RequestClose(0, Close::kOrderly);
}

void TcpServer::ResetLink() {
  RequestClose(0, Close::kReset);
}

void TcpServer::ResetMidReply() {
  std::lock_guard<std::mutex> lock(mutex_);
  cut_next_reply_ = true;
}

void TcpServer::Stop() {
  if (stopped_) return;
  stopped_ = true;
  stopping_.store(true);
  wake_.Signal();
  if (thread_.joinable()) thread_.join();
  CloseConnection(Close::kOrderly);
  std::lock_guard<std::mutex> lock(mutex_);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  listen_fd_ = -1;
}

void TcpServer::OnOutput(const uint8_t *bytes, size_t count) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connection_fd_ < 0 || reply_cut_) return;
    if (cut_next_reply_ && count > 0) {
      cut_next_reply_ = false;
      reply_cut_ = true;
      count /= 2;
      close_generation_ = generation_;
      close_how_ = Close::kReset;
      wake = true;
    }
    wake = out_.Push(connection_fd_, bytes, count) || wake;
  }
  // The thread waits for the connection to become writable again, or resets it.
  if (wake) wake_.Signal();
}

void TcpServer::CloseConnection(Close how) {
  // First, and without the lock: the reader's delivery thread may be inside OnOutput, holding
  // the reader's output lock while it waits for this server's lock.
  if (reader_connection_ != 0) reader_.Disconnect(reader_connection_);
  reader_connection_ = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (connection_fd_ < 0) return;
  if (how == Close::kReset) {
    out_.Flush(connection_fd_);
    Drain(connection_fd_);
    const linger hard{1, 0};
    ::setsockopt(connection_fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
  } else {
    out_.Flush(connection_fd_);
    ::shutdown(connection_fd_, SHUT_RDWR);
  }
  ::close(connection_fd_);
  connection_fd_ = -1;
  close_generation_ = 0;
  reply_cut_ = false;
  out_.Clear();
}

void TcpServer::Accept() {
  const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  // The newcomer replaces the host connected so far.
  CloseConnection(Close::kOrderly);
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connection_fd_ = fd;
    generation = ++generation_;
  }
  accepted_.fetch_add(1);
  reader_connection_ =
      reader_.Connect([this](const uint8_t *bytes, size_t count) { OnOutput(bytes, count); },
                      [this, generation] { RequestClose(generation, Close::kOrderly); });
}

void TcpServer::Run() {
  uint8_t buffer[kReadChunk];
  while (!stopping_.load()) {
    bool want_write = false;
    int connection = -1;
    bool close_now = false;
    Close how = Close::kOrderly;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      want_write = !out_.Empty();
      connection = connection_fd_;  // only this thread closes it while running
      close_now = close_generation_ != 0 && close_generation_ == generation_;
      how = close_how_;
    }
    if (close_now) {
      CloseConnection(how);
      continue;
    }
    pollfd fds[3] = {{wake_.Fd(), POLLIN, 0},
                     {listen_fd_, POLLIN, 0},
                     {connection, static_cast<short>(POLLIN | (want_write ? POLLOUT : 0)), 0}};
    const int ready = ::poll(fds, connection >= 0 ? 3 : 2, kPollMs);
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    if (fds[0].revents & POLLIN) {
      wake_.Drain();
      continue;  // look at the requests first
    }
    if (fds[1].revents & POLLIN) {
      Accept();
      continue;
    }
    if (connection < 0) continue;
    if (fds[2].revents & POLLOUT) {
      std::lock_guard<std::mutex> lock(mutex_);
      out_.Flush(connection);
    }
    if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = ::recv(connection, buffer, sizeof(buffer), 0);
      if (n > 0) {
        reader_.Receive(buffer, static_cast<size_t>(n));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        CloseConnection(Close::kOrderly);  // the host closed or lost its connection
      }
    }
  }
}

}  // namespace kovra_sim
