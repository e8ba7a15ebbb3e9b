// Changes to the network interfaces of the calling thread's network namespace through rtnetlink
// (NETLINK_ROUTE): what a simulated network reader needs to take a new address on the interface
// it owns, and the pieces a test needs to build its own namespaces. Each call opens its own
// netlink socket, sends one request and waits for the kernel's acknowledgement; it needs
// CAP_NET_ADMIN in the namespace (root inside a namespace the test made).
//
// Netlink rather than running `ip`: no program has to be found on PATH, no child process is
// started from a process with threads, and the kernel's error comes back as an errno.
//
// All functions return true on success, false with a text in `error` (when given) otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/ipv4.h"

namespace kovra_sim::netlink {

// One rtnetlink request: a netlink header, the family header, then attributes (nests allowed).
class Request {
 public:
  // `type` such as RTM_NEWADDR; NLM_F_REQUEST and NLM_F_ACK are added to `flags`.
  Request(uint16_t type, uint16_t flags);
  // Raw bytes, padded to 4: the family header (ifaddrmsg, ifinfomsg) and headers inside nests.
  void Append(const void *bytes, size_t count);
  void Attribute(uint16_t type, const void *bytes, size_t count);
  void Attribute(uint16_t type, const std::string &text);  // with its NUL
  // Opens a nested attribute; returns where it starts, for EndNest.
  size_t BeginNest(uint16_t type);
  void EndNest(size_t start);
  // Sends the request in the calling thread's namespace and waits for the acknowledgement.
  bool Send(std::string *error) const;

 private:
  std::vector<uint8_t> bytes_;
};

// The index of the interface with this name; 0 when there is none.
unsigned InterfaceIndex(const std::string &name);
bool AddAddress(unsigned interface, const Ipv4 &address, unsigned prefix_length,
                std::string *error);
bool RemoveAddress(unsigned interface, const Ipv4 &address, unsigned prefix_length,
                   std::string *error);
bool SetLinkUp(unsigned interface, std::string *error);
// The name of the interface that holds `address` in this namespace; empty when none does.
std::string InterfaceHolding(const Ipv4 &address);

}  // namespace kovra_sim::netlink
