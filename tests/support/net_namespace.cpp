// Network namespaces of a test's own, with veth pairs and addresses, so that network tests never
// touch the machine's network.
#include "support/net_namespace.h"

#include <fcntl.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <linux/veth.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "sim/lan_records.h"
#include "sim/netlink.h"

namespace kovra_test {
namespace {

namespace netlink = kovra_sim::netlink;

constexpr int kSkipped = 77;  // the child's exit status when it could not build its network
std::atomic<bool> moves_broken{false};

std::string ErrnoText(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

int OpenOwnNamespace() {
  return ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
}

// A new namespace for the calling thread; its descriptor, or -1 with a text in `error`.
int NewNamespace(std::string *error) {
  if (::unshare(CLONE_NEWNET) != 0) {
    *error = ErrnoText("unshare(CLONE_NEWNET)");
    return -1;
  }
  const int fd = OpenOwnNamespace();
  if (fd < 0) *error = ErrnoText("open /proc/thread-self/ns/net");
  return fd;
}

bool LoopbackUp(std::string *error) {
  return netlink::SetLinkUp(netlink::InterfaceIndex("lo"), error);
}

// "10.231.0.2/24" onto the interface, which goes up; an empty address only brings it up.
bool SetUp(const std::string &interface, const std::string &cidr, std::string *error) {
  const unsigned index = netlink::InterfaceIndex(interface);
  if (index == 0) {
    *error = "no interface " + interface;
    return false;
  }
  if (!cidr.empty()) {
    const size_t slash = cidr.find('/');
    kovra_sim::Ipv4 address{};
    unsigned prefix = 32;
    const char *end = cidr.data() + cidr.size();
    if (slash != std::string::npos) {
      const auto [stop, failure] = std::from_chars(cidr.data() + slash + 1, end, prefix);
      if (failure != std::errc() || stop != end || prefix > 32) prefix = 99;
    }
    if (!kovra_sim::ParseDottedAddress(cidr.substr(0, slash), &address) || prefix > 32) {
      *error = "not an address/prefix: " + cidr;
      return false;
    }
    if (!netlink::AddAddress(index, address, prefix, error)) return false;
  }
  return netlink::SetLinkUp(index, error);
}

// A UDP socket on `address` (port chosen by the system) in the calling thread's namespace; -1
// when it cannot be made.
int ProbeSocket(const kovra_sim::Ipv4 &address, sockaddr_in *bound) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  std::memcpy(&local.sin_addr, address.data(), 4);
  socklen_t length = sizeof(local);
  if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof(local)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr *>(bound), &length) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Sends from `from` to `to` every 20 ms until a datagram arrives, within `deadline`.
bool ProbeArrives(int from, const sockaddr_in &to, int to_fd,
                  std::chrono::steady_clock::time_point deadline) {
  const char probe = 'p';
  while (std::chrono::steady_clock::now() < deadline) {
    ::sendto(from, &probe, 1, 0, reinterpret_cast<const sockaddr *>(&to), sizeof(to));
    pollfd p = {to_fd, POLLIN, 0};
    if (::poll(&p, 1, 20) == 1) {
      char buffer[8];
      while (::recv(to_fd, buffer, sizeof(buffer), 0) > 0) {
      }
      return true;
    }
  }
  return false;
}

// Waits (5 s at most) until every addressed link carries datagrams both ways. Right after a veth
// pair comes up the kernel may still drop a frame or two (the first ARP request or TCP SYN then
// costs a second's retransmission); the probes also leave both neighbour entries resolved.
bool WaitLinksCarry(const NetLayout &layout, int host, const std::vector<int> &peers,
                    std::string *error) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (const VethLink &link : layout.links) {
    kovra_sim::Ipv4 host_address{};
    kovra_sim::Ipv4 peer_address{};
    if (!kovra_sim::ParseDottedAddress(link.host_address.substr(0, link.host_address.find('/')),
                                       &host_address) ||
        !kovra_sim::ParseDottedAddress(link.peer_address.substr(0, link.peer_address.find('/')),
                                       &peer_address)) {
      continue;  // an end without an address: nothing to probe
    }
    sockaddr_in host_end{};
    sockaddr_in peer_end{};
    const int host_fd = ProbeSocket(host_address, &host_end);
    int peer_fd = -1;
    if (::setns(peers[link.peer], CLONE_NEWNET) == 0)
      peer_fd = ProbeSocket(peer_address, &peer_end);
    if (::setns(host, CLONE_NEWNET) != 0) {
      *error = ErrnoText("setns host");
      return false;
    }
    const bool carries = host_fd >= 0 && peer_fd >= 0 &&
                         ProbeArrives(host_fd, peer_end, peer_fd, deadline) &&
                         ProbeArrives(peer_fd, host_end, host_fd, deadline);
    if (host_fd >= 0) ::close(host_fd);
    if (peer_fd >= 0) ::close(peer_fd);
    if (!carries) {
      *error = "link " + link.host_interface + "/" + link.peer_interface + " carries no datagrams";
      return false;
    }
  }
  return true;
}

bool CreateVeth(const VethLink &link, int peer_namespace, std::string *error) {
  netlink::Request request(RTM_NEWLINK, NLM_F_CREATE | NLM_F_EXCL);
  ifinfomsg info{};
  info.ifi_family = AF_UNSPEC;
  request.Append(&info, sizeof(info));
  request.Attribute(IFLA_IFNAME, link.host_interface);
  const size_t link_info = request.BeginNest(IFLA_LINKINFO);
  request.Attribute(IFLA_INFO_KIND, std::string("veth"));
  const size_t data = request.BeginNest(IFLA_INFO_DATA);
  const size_t peer = request.BeginNest(VETH_INFO_PEER);
  request.Append(&info, sizeof(info));
  request.Attribute(IFLA_IFNAME, link.peer_interface);
  const uint32_t fd = static_cast<uint32_t>(peer_namespace);
  request.Attribute(IFLA_NET_NS_FD, &fd, sizeof(fd));
  request.EndNest(peer);
  request.EndNest(data);
  request.EndNest(link_info);
  if (request.Send(error)) return true;
  *error = "veth " + link.host_interface + "/" + link.peer_interface + ": " + *error;
  return false;
}

// Builds the layout in the child; the namespaces' descriptors, or false with a text in `error`.
bool Build(const NetLayout &layout, int *host, std::vector<int> *peers, std::string *error) {
  *host = NewNamespace(error);
  if (*host < 0) return false;
  for (size_t i = 0; i < layout.peers; ++i) {
    const int fd = NewNamespace(error);
    if (fd < 0) return false;
    peers->push_back(fd);
    if (!LoopbackUp(error)) return false;
  }
  if (::setns(*host, CLONE_NEWNET) != 0) {
    *error = ErrnoText("setns host");
    return false;
  }
  if (!LoopbackUp(error)) return false;
  for (const VethLink &link : layout.links) {
    if (link.peer >= peers->size()) {
      *error =
          "a link names peer " + std::to_string(link.peer) + " of " + std::to_string(peers->size());
      return false;
    }
    const int peer = (*peers)[link.peer];
    if (!CreateVeth(link, peer, error) || !SetUp(link.host_interface, link.host_address, error)) {
      return false;
    }
    const bool peer_side =
        ::setns(peer, CLONE_NEWNET) == 0 && SetUp(link.peer_interface, link.peer_address, error);
    if (::setns(*host, CLONE_NEWNET) != 0 || !peer_side) {
      if (error->empty()) *error = ErrnoText("setns");
      return false;
    }
  }
  return WaitLinksCarry(layout, *host, *peers, error);
}

void WriteAll(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

[[noreturn]] void RunChild(const NetLayout &layout,
                           const std::function<void(NetNamespaces &net)> &body,
                           const std::function<bool()> &failed, int report) {
  int host = -1;
  std::vector<int> peers;
  std::string error;
  if (!Build(layout, &host, &peers, &error)) {
    WriteAll(report, "cannot build the test's network namespaces: " + error);
    ::_exit(kSkipped);
  }
  NetNamespaces net(host, peers);
  body(net);
  const bool bad = (failed && failed()) || moves_broken.load();
  if (moves_broken.load()) WriteAll(report, "a thread could not change its namespace");
  std::fflush(stdout);
  std::fflush(stderr);
  // _exit: the parent's test framework must not wind up (reports, files) a second time here.
  ::_exit(bad ? 1 : 0);
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[512];
  ssize_t n = 0;
  while ((n = ::read(fd, buffer, sizeof(buffer))) > 0) text.append(buffer, buffer + n);
  return text;
}

}  // namespace

bool NetNamespaces::Enter(int which) const {
  const int fd = which == kHost ? host_
                 : which >= 0 && static_cast<size_t>(which) < peers_.size()
                     ? peers_[static_cast<size_t>(which)]
                     : -1;
  return fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
}

int NetNamespaces::CurrentNamespace() {
  return OpenOwnNamespace();
}

void NetNamespaces::ReturnTo(int fd) {
  if (::setns(fd, CLONE_NEWNET) != 0) ReportBrokenMove();
  ::close(fd);
}

void NetNamespaces::ReportBrokenMove() {
  moves_broken.store(true);
}

NetRun RunInNetNamespaces(const NetLayout &layout,
                          const std::function<void(NetNamespaces &net)> &body,
                          const std::function<bool()> &failed) {
  NetRun run;
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    run.message = ErrnoText("pipe");
    return run;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  if (child < 0) {
    run.message = ErrnoText("fork");
    ::close(report[0]);
    ::close(report[1]);
    return run;
  }
  if (child == 0) {
    ::close(report[0]);
    RunChild(layout, body, failed, report[1]);
  }
  ::close(report[1]);

  // The report pipe closes when the child ends (or hands its descriptor on to nobody).
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + layout.timeout;
  pid_t ended = 0;
  while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    ::poll(nullptr, 0, 10);
  }
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    run.message = "the test in the network namespaces took longer than " +
                  std::to_string(layout.timeout.count()) + " s and was killed";
    ::close(report[0]);
    return run;
  }
  // Not blocking: a process the body started may still hold the pipe's other end.
  ::fcntl(report[0], F_SETFL, O_NONBLOCK);
  run.message = ReadAll(report[0]);
  ::close(report[0]);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kSkipped) {
    run.skipped = true;
  } else if (WIFEXITED(status)) {
    run.passed = WEXITSTATUS(status) == 0;
  } else if (WIFSIGNALED(status)) {
    run.message +=
        "the test in the network namespaces died of signal " + std::to_string(WTERMSIG(status));
  }
  return run;
}

}  // namespace kovra_test
