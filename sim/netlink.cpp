// Changes to the network interfaces of the calling thread's network namespace through rtnetlink
// (NETLINK_ROUTE).
#include "sim/netlink.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kovra_sim::netlink {
namespace {

constexpr size_t kAlign = 4;
constexpr int kReplyTimeoutMs = 2000;

size_t Aligned(size_t count) {
  return (count + kAlign - 1) & ~(kAlign - 1);
}

void SetError(std::string *error, const std::string &text) {
  if (error) *error = text;
}

// A descriptor closed when it goes out of scope.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

bool ChangeAddress(uint16_t type, uint16_t flags, unsigned interface, const Ipv4 &address,
                   unsigned prefix_length, std::string *error) {
  Request request(type, flags);
  ifaddrmsg header{};
  header.ifa_family = AF_INET;
  header.ifa_prefixlen = static_cast<uint8_t>(prefix_length);
  header.ifa_scope = RT_SCOPE_UNIVERSE;
  header.ifa_index = interface;
  request.Append(&header, sizeof(header));
  request.Attribute(IFA_LOCAL, address.data(), address.size());
  request.Attribute(IFA_ADDRESS, address.data(), address.size());
  if (type == RTM_NEWADDR && prefix_length < 31) {
    // The subnet's broadcast address, so that directed broadcasts reach the interface as well.
    Ipv4 broadcast = address;
    const Ipv4 mask = MaskOfHostBits(32 - prefix_length);
    for (size_t i = 0; i < 4; ++i) broadcast[i] = static_cast<uint8_t>(address[i] | ~mask[i]);
    request.Attribute(IFA_BROADCAST, broadcast.data(), broadcast.size());
  }
  return request.Send(error);
}

}  // namespace

Request::Request(uint16_t type, uint16_t flags) {
  nlmsghdr header{};
  header.nlmsg_type = type;
  header.nlmsg_flags = static_cast<uint16_t>(flags | NLM_F_REQUEST | NLM_F_ACK);
  header.nlmsg_seq = 1;
  Append(&header, sizeof(header));
}

void Request::Append(const void *bytes, size_t count) {
  const auto *begin = static_cast<const uint8_t *>(bytes);
  bytes_.insert(bytes_.end(), begin, begin + count);
  bytes_.resize(Aligned(bytes_.size()), 0);
}

void Request::Attribute(uint16_t type, const void *bytes, size_t count) {
  rtattr attribute{};
  attribute.rta_type = type;
  attribute.rta_len = static_cast<uint16_t>(RTA_LENGTH(count));
  const auto *raw = reinterpret_cast<const uint8_t *>(&attribute);
  bytes_.insert(bytes_.end(), raw, raw + sizeof(attribute));
  Append(bytes, count);
}

void Request::Attribute(uint16_t type, const std::string &text) {
  Attribute(type, text.c_str(), text.size() + 1);
}

size_t Request::BeginNest(uint16_t type) {
  const size_t start = bytes_.size();
  Attribute(type, nullptr, 0);
  return start;
}

void Request::EndNest(size_t start) {
  const auto length = static_cast<uint16_t>(bytes_.size() - start);
  std::memcpy(bytes_.data() + start + offsetof(rtattr, rta_len), &length, sizeof(length));
}

bool Request::Send(std::string *error) const {
  std::vector<uint8_t> message = bytes_;
  const auto length = static_cast<uint32_t>(message.size());
  std::memcpy(message.data() + offsetof(nlmsghdr, nlmsg_len), &length, sizeof(length));

  const Descriptor socket{::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)};
  if (socket.fd < 0) {
    SetError(error, std::string("netlink socket: ") + std::strerror(errno));
    return false;
  }
  timeval timeout{kReplyTimeoutMs / 1000, 0};
  ::setsockopt(socket.fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(socket.fd, message.data(), message.size(), 0,
               reinterpret_cast<const sockaddr *>(&kernel), sizeof(kernel)) < 0) {
    SetError(error, std::string("netlink send: ") + std::strerror(errno));
    return false;
  }
  alignas(nlmsghdr) uint8_t reply[4096];
  for (;;) {
    const ssize_t n = ::recv(socket.fd, reply, sizeof(reply), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetError(error, std::string("netlink receive: ") + std::strerror(errno));
      return false;
    }
    auto remaining = static_cast<unsigned>(n);
    for (auto *header = reinterpret_cast<nlmsghdr *>(reply); NLMSG_OK(header, remaining);
         header = NLMSG_NEXT(header, remaining)) {
      if (header->nlmsg_type != NLMSG_ERROR) continue;
      const auto *result = static_cast<const nlmsgerr *>(NLMSG_DATA(header));
      if (result->error == 0) return true;
      SetError(error, std::string("netlink: ") + std::strerror(-result->error));
      return false;
    }
  }
}

unsigned InterfaceIndex(const std::string &name) {
  return ::if_nametoindex(name.c_str());
}

bool AddAddress(unsigned interface, const Ipv4 &address, unsigned prefix_length,
                std::string *error) {
  return ChangeAddress(RTM_NEWADDR, NLM_F_CREATE | NLM_F_EXCL, interface, address, prefix_length,
                       error);
}

bool RemoveAddress(unsigned interface, const Ipv4 &address, unsigned prefix_length,
                   std::string *error) {
  return ChangeAddress(RTM_DELADDR, 0, interface, address, prefix_length, error);
}

bool SetLinkUp(unsigned interface, std::string *error) {
  Request request(RTM_NEWLINK, 0);
  ifinfomsg header{};
  header.ifi_family = AF_UNSPEC;
  header.ifi_index = static_cast<int>(interface);
  header.ifi_flags = IFF_UP;
  header.ifi_change = IFF_UP;
  request.Append(&header, sizeof(header));
  return request.Send(error);
}

std::string InterfaceHolding(const Ipv4 &address) {
  ifaddrs *list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  std::string name;
  for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    const auto *inet = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr);
    if (std::memcmp(&inet->sin_addr, address.data(), 4) == 0) {
      name = entry->ifa_name;
      break;
    }
  }
  ::freeifaddrs(list);
  return name;
}

}  // namespace kovra_sim::netlink
