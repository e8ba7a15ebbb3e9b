// Network namespaces of a test's own, so that network tests never touch the machine's network.
//
// RunInNetNamespaces(layout, body) forks a child process. The child creates a "host" namespace
// (where the code under test runs: the library, a raw client) and `layout.peers` "peer"
// namespaces (where simulated readers run), joins them with veth pairs that carry the layout's
// addresses (10.231.x.y by default), brings every interface and every loopback up and runs `body`
// on its main thread in the host namespace. When the child ends, its namespaces, interfaces and
// addresses vanish with it; nothing is ever created in the machine's own namespace, so a
// broadcast sent by the body stays in the test's network.
//
// Inside the body, NetNamespaces moves the calling thread between the namespaces. Sockets and
// threads keep the namespace of the thread that created them: a simulated reader started inside
// net.InPeer(0, ...) serves in the peer namespace for good, while the body goes on in the host
// namespace.
//
// The child needs CAP_SYS_ADMIN and CAP_NET_ADMIN (root). When it cannot create its namespaces
// or links, the run is skipped with the reason (an unprivileged user, a kernel without veth).
// The body's failures are printed by the child (GoogleTest prints them as usual); the parent
// learns whether the child failed through its exit status, which `failed` decides (pass
// GoogleTest's HasFailure). Use in a test:
//
//   const kovra_test::NetRun run = kovra_test::RunInNetNamespaces(
//       {}, [](kovra_test::NetNamespaces &net) { ... EXPECT_..., ASSERT_... },
//       [] { return ::testing::Test::HasFailure(); });
//   if (run.skipped) GTEST_SKIP() << run.message;
//   EXPECT_TRUE(run.passed) << run.message;
//
// The parent must have no threads of its own running when it calls (the child is forked and
// carries on with one thread); GoogleTest's main thread between tests is such a place.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace kovra_test {

// One veth pair: one end in the host namespace, the other in a peer namespace. Addresses are
// "A.B.C.D/prefix"; an empty address leaves that end without one.
struct VethLink {
  std::string host_interface = "kvh0";
  std::string host_address = "10.231.0.1/24";
  std::string peer_interface = "kvr0";
  std::string peer_address = "10.231.0.2/24";
  size_t peer = 0;  // which peer namespace
};

struct NetLayout {
  size_t peers = 1;
  std::vector<VethLink> links = {VethLink{}};
  // The child is killed after this long, and the run fails.
  std::chrono::seconds timeout{60};
};

struct NetRun {
  bool skipped = false;
  bool passed = false;
  std::string message;  // why it was skipped or failed
};

class NetNamespaces {
 public:
  static constexpr int kHost = -1;

  NetNamespaces(int host, std::vector<int> peers) : host_(host), peers_(std::move(peers)) {}
  size_t Peers() const { return peers_.size(); }

  // Moves the calling thread into the namespace (kHost or a peer's index); false on failure.
  bool Enter(int which) const;
  // Runs `fn` with the calling thread in the namespace, then moves it back where it was; what
  // `fn` returns. When the thread cannot be moved, `fn` does not run and the result is a
  // default-constructed value (and the run is failed: the child ends with status 1).
  template <typename Fn>
  auto In(int which, Fn &&fn) const -> decltype(fn()) {
    const int back = CurrentNamespace();
    if (back < 0 || !Enter(which)) {
      ReportBrokenMove();
      if constexpr (!std::is_void_v<decltype(fn())>)
        return decltype(fn())();
      else
        return;
    }
    struct Return {
      int fd;
      ~Return() { ReturnTo(fd); }
    } restore{back};
    return fn();
  }
  template <typename Fn>
  auto InPeer(size_t peer, Fn &&fn) const -> decltype(fn()) {
    return In(static_cast<int>(peer), std::forward<Fn>(fn));
  }

 private:
  // A descriptor of the calling thread's namespace (-1 on failure), and the way back to it.
  static int CurrentNamespace();
  static void ReturnTo(int fd);
  static void ReportBrokenMove();

  int host_;
  std::vector<int> peers_;
};

NetRun RunInNetNamespaces(const NetLayout &layout,
                          const std::function<void(NetNamespaces &net)> &body,
                          const std::function<bool()> &failed = {});

}  // namespace kovra_test
