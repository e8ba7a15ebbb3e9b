// A network reader's configuration service.
#include "sim/lan_config_service.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kovra_sim {
namespace {

constexpr int kIdlePollMs = 500;  // the eventfd ends a wait; this only bounds it
constexpr size_t kMaxDatagram = 2048;
const Bytes kSetupRequest = {0x00, 0x01, 0x00, 0xF8};

std::string ErrnoText(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

void SetOption(int fd, int level, int name, int value) {
  ::setsockopt(fd, level, name, &value, sizeof(value));
}

Ipv4 AddressOf(const in_addr &address) {
  Ipv4 bytes;
  std::memcpy(bytes.data(), &address, 4);
  return bytes;
}

}  // namespace

LanConfigService::LanConfigService(Handler handler) : handler_(std::move(handler)) {}

LanConfigService::~LanConfigService() {
  Stop();
}

bool LanConfigService::Start(const Options &options, std::string *error) {
  auto fail = [&](const std::string &what) {
    if (error) *error = ErrnoText(what);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return false;
  };
  if (thread_.joinable() || stopped_) {
    if (error) *error = "configuration service already started";
    return false;
  }
  SetAddress(options.address, options.host_bits);
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return fail("socket");
  // Several readers on one machine each own an interface and share the port.
  SetOption(fd_, SOL_SOCKET, SO_REUSEADDR, 1);
  SetOption(fd_, SOL_SOCKET, SO_BROADCAST, 1);
  SetOption(fd_, IPPROTO_IP, IP_PKTINFO, 1);  // the destination of each datagram
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(options.port);
  on_device_ = !options.interface.empty() &&
               ::setsockopt(fd_, SOL_SOCKET, SO_BINDTODEVICE, options.interface.c_str(),
                            static_cast<socklen_t>(options.interface.size())) == 0;
  if (on_device_) {
    local.sin_addr.s_addr = htonl(INADDR_ANY);
  } else {
    // Never INADDR_ANY without a device: the service would answer on every interface.
    std::fprintf(stderr, "kovra-sim: configuration service bound to %s only (no broadcasts): %s\n",
                 DottedAddress(options.address).c_str(),
                 options.interface.empty() ? "no interface" : std::strerror(errno));
    std::memcpy(&local.sin_addr, options.address.data(), 4);
  }
  if (::bind(fd_, reinterpret_cast<const sockaddr *>(&local), sizeof(local)) != 0) {
    return fail("bind configuration port " + std::to_string(options.port));
  }
  socklen_t length = sizeof(local);
  if (::getsockname(fd_, reinterpret_cast<sockaddr *>(&local), &length) != 0) {
    return fail("getsockname");
  }
  port_ = ntohs(local.sin_port);
  if (!wake_.Valid()) return fail("eventfd");
  thread_ = std::thread(&LanConfigService::Run, this);
  return true;
}

void LanConfigService::SetAddress(const Ipv4 &address, uint8_t host_bits) {
  std::lock_guard<std::mutex> lock(mutex_);
  address_ = address;
  host_bits_ = host_bits;
}

void LanConfigService::SetFlood(bool flood) {
  flood_.store(flood);
  wake_.Signal();  // the thread's wait becomes short
}

void LanConfigService::Stop() {
  if (stopped_) return;
  stopped_ = true;
  stopping_.store(true);
  wake_.Signal();
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool LanConfigService::ForThisReader(const Ipv4 &destination) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (destination == address_ || destination == Ipv4{255, 255, 255, 255}) return true;
  const Ipv4 mask = MaskOfHostBits(host_bits_);
  for (size_t i = 0; i < 4; ++i) {
    if (destination[i] != static_cast<uint8_t>(address_[i] | ~mask[i])) return false;
  }
  return true;  // the directed broadcast of its subnet
}

void LanConfigService::SendTo(const Bytes &datagram, const sockaddr_in &to) {
  Ipv4 source;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    source = address_;
  }
  // From the reader's address, whatever else the interface holds: a host matches answers by
  // their sender.
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  iovec part{const_cast<uint8_t *>(datagram.data()), datagram.size()};
  msghdr message{};
  message.msg_name = const_cast<sockaddr_in *>(&to);
  message.msg_namelen = sizeof(to);
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof(control);
  cmsghdr *header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  std::memcpy(&info.ipi_spec_dst, source.data(), 4);
  std::memcpy(CMSG_DATA(header), &info, sizeof(info));
  if (::sendmsg(fd_, &message, 0) < 0) {
    // The address is not (yet) the interface's: let the kernel choose.
    ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr *>(&to),
             sizeof(to));
  }
  answered_.fetch_add(1);
}

void LanConfigService::ReceiveOne() {
  uint8_t buffer[kMaxDatagram];
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo)) + 64];
  sockaddr_in sender{};
  iovec part{buffer, sizeof(buffer)};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof(sender);
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof(control);
  const ssize_t n = ::recvmsg(fd_, &message, 0);
  if (n < 0 || paused_.load() || silent_.load()) return;
  // A datagram cut to the buffer is no request of the reader's protocol.
  if ((message.msg_flags & MSG_TRUNC) != 0) return;
  std::optional<Ipv4> destination;
  for (cmsghdr *header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
      in_pktinfo info{};
      std::memcpy(&info, CMSG_DATA(header), sizeof(info));
      destination = AddressOf(info.ipi_addr);
    }
  }
  if (destination && !ForThisReader(*destination)) return;
  taken_.fetch_add(1);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    last_sender_ = sender;
  }
  const Bytes answer = handler_(buffer, static_cast<size_t>(n));
  if (!answer.empty()) SendTo(answer, sender);
}

void LanConfigService::Run() {
  auto next_flood = std::chrono::steady_clock::now();
  while (!stopping_.load()) {
    const bool flood = flood_.load();
    pollfd fds[2] = {{wake_.Fd(), POLLIN, 0}, {fd_, POLLIN, 0}};
    const int wait = flood ? static_cast<int>(kFloodInterval.count()) : kIdlePollMs;
    const int ready = ::poll(fds, 2, wait);
    if (ready < 0 && errno != EINTR) return;
    if (ready > 0 && (fds[0].revents & POLLIN)) wake_.Drain();
    if (ready > 0 && (fds[1].revents & POLLIN)) ReceiveOne();
    if (!flood || paused_.load() || silent_.load()) continue;
    const auto now = std::chrono::steady_clock::now();
    if (now < next_flood) continue;
    next_flood = now + kFloodInterval;
    std::optional<sockaddr_in> to;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      to = last_sender_;
    }
    if (!to) continue;
    const Bytes answer = handler_(kSetupRequest.data(), kSetupRequest.size());
    if (!answer.empty()) SendTo(answer, *to);
  }
}

}  // namespace kovra_sim
