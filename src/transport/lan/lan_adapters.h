// The local network adapters a network reader can be reached through, and the choice of the one
// a connection to a reader is bound to.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovra::lan {

// One usable local IPv4 address.
struct Adapter {
  std::string address;  // dotted
  std::string mask;     // dotted
  unsigned index = 0;   // the interface index (if_nametoindex)
};

// The IPv4 addresses of the interfaces that are up, other than loopback and 0.0.0.0, in the order
// the system lists them. Empty when the system cannot list them.
std::vector<Adapter> EnumerateAdapters();

// Fills `address` with a dotted IPv4 address (empty: any local address) and `port`. False for
// text that is no dotted address: names are never looked up.
bool ToSocketAddress(const std::string &dotted, uint16_t port, sockaddr_in &address);

// The route the system would send to `target` (dotted) by: the interface and the local address
// of a UDP socket connected to it (connecting sends nothing).
struct Route {
  unsigned index = 0;         // the interface index
  std::string local_address;  // dotted
};
// Nothing when `target` is no dotted address or has no route.
std::optional<Route> BestRoute(const std::string &target);

// The index of the interface of BestRoute; nothing when there is no route.
std::optional<unsigned> BestInterfaceIndex(const std::string &target);

// The local address to bind a connection to `target` to: the first adapter on the route's
// interface whose subnet holds the target; else, for a target behind a router, the local
// address the route leaves by (binding to any other adapter would send the connection out by
// the wrong one); without a route the first adapter; empty (any local address) without adapters.
std::string ChooseAdapter(const std::vector<Adapter> &adapters, const std::optional<Route> &route,
                          const std::string &target);

}  // namespace kovra::lan
