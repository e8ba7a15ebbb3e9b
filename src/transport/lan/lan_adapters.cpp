// The local network adapters a network reader can be reached through, and the choice of the one a
// connection to a reader is bound to.
#include "transport/lan/lan_adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kovra::lan {
namespace {

std::optional<in_addr> ParseAddress(const std::string &dotted) {
  in_addr address{};
  if (::inet_pton(AF_INET, dotted.c_str(), &address) != 1) return std::nullopt;
  return address;
}

std::string Text(const sockaddr *address) {
  char text[INET_ADDRSTRLEN] = {};
  const auto *ipv4 = reinterpret_cast<const sockaddr_in *>(address);
  ::inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text);
  return text;
}

}  // namespace

bool ToSocketAddress(const std::string &dotted, uint16_t port, sockaddr_in &address) {
  address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (dotted.empty()) {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  return ::inet_pton(AF_INET, dotted.c_str(), &address.sin_addr) == 1;
}

std::vector<Adapter> EnumerateAdapters() {
  std::vector<Adapter> adapters;
  ifaddrs *list = nullptr;
  if (::getifaddrs(&list) != 0) return adapters;
  for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const std::string address = Text(entry->ifa_addr);
    if (address == "0.0.0.0") continue;
    const std::string mask = entry->ifa_netmask != nullptr ? Text(entry->ifa_netmask) : "0.0.0.0";
    adapters.push_back({address, mask, ::if_nametoindex(entry->ifa_name)});
  }
  ::freeifaddrs(list);
  return adapters;
}

std::optional<Route> BestRoute(const std::string &target) {
  const auto address = ParseAddress(target);
  if (!address) return std::nullopt;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(9);  // any port: a UDP connect only asks the routing table
  peer.sin_addr = *address;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  const bool routed = ::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) == 0 &&
                      ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) == 0;
  ::close(fd);
  if (!routed) return std::nullopt;
  const std::string local_text = Text(reinterpret_cast<const sockaddr *>(&local));
  for (const Adapter &adapter : EnumerateAdapters()) {
    if (adapter.address == local_text) return Route{adapter.index, local_text};
  }
  return std::nullopt;
}

std::optional<unsigned> BestInterfaceIndex(const std::string &target) {
  const auto route = BestRoute(target);
  if (!route) return std::nullopt;
  return route->index;
}

std::string ChooseAdapter(const std::vector<Adapter> &adapters, const std::optional<Route> &route,
                          const std::string &target) {
  if (adapters.empty()) return {};
  const auto target_address = ParseAddress(target);
  if (route && target_address) {
    for (const Adapter &adapter : adapters) {
      const auto address = ParseAddress(adapter.address);
      const auto mask = ParseAddress(adapter.mask);
      if (adapter.index != route->index || !address || !mask) continue;
      if ((address->s_addr & mask->s_addr) == (target_address->s_addr & mask->s_addr)) {
        return adapter.address;
      }
    }
    if (!route->local_address.empty()) return route->local_address;
  }
  return adapters.front().address;
}

}  // namespace kovra::lan
