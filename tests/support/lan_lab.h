// Network namespaces for tests of network readers: the calling thread moves into a namespace of
// its own (the "host"), which gets one bridge per local network (10.231.<n>.1/24, the host's
// adapters), and every reader lives in a namespace of its own, joined to a bridge by a veth pair.
// Nothing is ever sent on the machine's own network. Needs root (CAP_SYS_ADMIN); Skipped() says
// why it could not be built. Header-only, so benchmarks can use it too.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kovra_test {

// A network namespace held open by a descriptor. Threads move into it to create sockets there;
// the sockets stay in it whichever thread uses them later.
class NetNamespace {
 public:
  // A new, empty namespace (only a loopback interface, down).
  static std::unique_ptr<NetNamespace> Create() {
    int fd = -1;
    std::thread maker([&fd] {
      if (::unshare(CLONE_NEWNET) == 0) fd = ::open("/proc/thread-self/ns/net", O_RDONLY);
    });
    maker.join();
    if (fd < 0) return nullptr;
    return std::unique_ptr<NetNamespace>(new NetNamespace(fd));
  }
  ~NetNamespace() { ::close(fd_); }
  NetNamespace(const NetNamespace &) = delete;
  NetNamespace &operator=(const NetNamespace &) = delete;

  // A path that names the namespace for `ip ... netns` and `nsenter --net=`.
  std::string Path() const {
    return "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd_);
  }
  // Runs a shell command inside the namespace; true when it succeeded.
  bool Shell(const std::string &command) const {
    const std::string line = "nsenter --net=" + Path() + " sh -c '" + command + "' >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
  }
  // Moves the calling thread into the namespace.
  bool Enter() const { return ::setns(fd_, CLONE_NEWNET) == 0; }
  // A thread that runs `body` inside the namespace (threads it starts stay there too).
  std::thread Start(std::function<void()> body) const {
    return std::thread([this, body = std::move(body)] {
      if (Enter()) body();
    });
  }

 private:
  explicit NetNamespace(int fd) : fd_(fd) {}
  int fd_;
};

class LanLab {
 public:
  // Moves the calling thread into a new namespace with loopback up. Check Skipped() first.
  LanLab() {
    original_ = ::open("/proc/thread-self/ns/net", O_RDONLY);
    if (original_ < 0 || ::unshare(CLONE_NEWNET) != 0) {
      reason_ = "cannot create a network namespace (needs root): network tests skipped";
      return;
    }
    entered_ = true;
    if (!Host("ip link set lo up")) reason_ = "no `ip` command (iproute2): network tests skipped";
  }
  // The calling thread goes back to the namespace it came from; the namespaces go away with
  // their last descriptor and their interfaces with them.
  ~LanLab() {
    readers_.clear();
    if (entered_) ::setns(original_, CLONE_NEWNET);
    if (original_ >= 0) ::close(original_);
  }
  LanLab(const LanLab &) = delete;
  LanLab &operator=(const LanLab &) = delete;

  // Empty when the lab stands; else why not (for GTEST_SKIP or a benchmark's skip).
  const std::string &Skipped() const { return reason_; }

  // A shell command in the host namespace.
  bool Host(const std::string &command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  }

  // Local network n (1 .. 250): a bridge "lan<n>" with the host's adapter 10.231.<n>.1/24.
  bool AddNetwork(int n) {
    const std::string bridge = "lan" + std::to_string(n);
    return Host("ip link add " + bridge + " type bridge && ip addr add 10.231." +
                std::to_string(n) + ".1/24 dev " + bridge + " && ip link set " + bridge + " up");
  }
  // Takes the host's adapter of network n down or up again.
  bool SetNetworkUp(int n, bool up) {
    return Host("ip link set lan" + std::to_string(n) + (up ? " up" : " down"));
  }

  // A reader's namespace on network n with the address 10.231.<n>.<host> on its interface "eth0".
  // Null when it cannot be made.
  NetNamespace *AddReaderHost(int n, int host) {
    auto ns = NetNamespace::Create();
    if (!ns) return nullptr;
    const std::string veth = "v" + std::to_string(n) + "x" + std::to_string(host);
    const std::string address = ReaderAddress(n, host);
    if (!Host("ip link add " + veth + " type veth peer name eth0 netns " + ns->Path()) ||
        !Host("ip link set " + veth + " master lan" + std::to_string(n) + " up") ||
        !ns->Shell("ip link set lo up && ip addr add " + address +
                   "/24 dev eth0 && ip link set eth0 up")) {
      return nullptr;
    }
    readers_.push_back(std::move(ns));
    if (!WaitReaderUp(n, host)) return nullptr;
    return readers_.back().get();
  }

  // Waits until the link of reader `host` on network n carries frames: both ends of its veth pair
  // up and the bridge forwarding on it. The kernel reports a new carrier late (up to a second on
  // a busy machine), and until then broadcasts do not reach the reader.
  bool WaitReaderUp(int n, int host, std::chrono::milliseconds within = std::chrono::seconds(5)) {
    const std::string veth = "v" + std::to_string(n) + "x" + std::to_string(host);
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Host("ip -d link show " + veth + " | grep -q \"state UP.*\" && ip -d link show " + veth +
               " | grep -q \"state forwarding\"")) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  static std::string ReaderAddress(int n, int host) {
    return "10.231." + std::to_string(n) + "." + std::to_string(host);
  }

 private:
  int original_ = -1;
  bool entered_ = false;
  std::string reason_;
  std::vector<std::unique_ptr<NetNamespace>> readers_;
};

}  // namespace kovra_test
