// The UDP socket of the configuration service: requests to one reader or to the whole subnet.
#include "transport/lan_config/lan_config_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "transport/lan/lan_adapters.h"

namespace kovra::lan {
namespace {

using Clock = std::chrono::steady_clock;

// Larger than any datagram the service sends; a longer one is cut and then fails its size checks.
constexpr size_t kMaxDatagram = 2048;

}  // namespace

bool DatagramSocket::Open(const std::string &bind_address) {
  Close();
  sockaddr_in local{};
  if (!ToSocketAddress(bind_address, 0, local)) return false;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
    ::close(fd);
    return false;
  }
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);  // without it only unicast works
  fd_ = fd;
  bind_address_ = bind_address;
  return true;
}

void DatagramSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool DatagramSocket::SendTo(const std::string &address, const Bytes &datagram) {
  sockaddr_in peer{};
  if (fd_ < 0 || address.empty() || !ToSocketAddress(address, kConfigPort, peer)) return false;
  for (;;) {
    const ssize_t sent = ::sendto(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<sockaddr *>(&peer), sizeof peer);
    if (sent == static_cast<ssize_t>(datagram.size())) return true;
    if (sent < 0 && errno == EINTR) continue;
    return false;
  }
}

std::optional<Received> DatagramSocket::Pop(std::chrono::milliseconds wait) {
  if (fd_ < 0) return std::nullopt;
  const auto deadline = Clock::now() + wait;
  for (;;) {
    uint8_t buffer[kMaxDatagram];
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    const ssize_t got =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&sender), &length);
    if (got >= 0) {
      char text[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
      auto datagram = ParseDatagram(buffer, static_cast<size_t>(got));
      if (datagram && text != bind_address_) return Received{text, std::move(*datagram)};
      if (Clock::now() >= deadline) return std::nullopt;  // a flood of junk must not hold us
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return std::nullopt;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd readable{fd_, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(left)) < 0 && errno != EINTR) return std::nullopt;
  }
}

}  // namespace kovra::lan
