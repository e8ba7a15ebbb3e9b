// Network readers opened with KOVRA_OpenPort and used over TCP, inside network namespaces of the
// test's own (support/lan_lab.h): the name forms, reconnects, a reader that falls silent, a reset
// in the middle of a reply, and opens that must fail in bounded time.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kovra.h"
#include "reader/handle_pool.h"
#include "reader/port.h"
#include "reader/sdk_app.h"
#include "support/lan_calls.h"
#include "support/lan_lab.h"
#include "support/lan_test_reader.h"
#include "transport/lan/lan_link.h"

namespace {

using kovra_test::LanLab;
using kovra_test::LanReaderSetup;
using kovra_test::LanTestReader;
using kovra_test::Since;
using kovra_test::Version;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

class LanLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!lab_.Skipped().empty()) GTEST_SKIP() << lab_.Skipped();
    ASSERT_TRUE(lab_.AddNetwork(1));
  }

  // A reader at 10.231.1.<host>; `dhcp` leaves its configured address 0.0.0.0.
  LanTestReader &AddReader(int host, const std::string &name, bool dhcp, uint16_t port = 10001,
                           int network = 1) {
    kovra_test::NetNamespace *ns = lab_.AddReaderHost(network, host);
    EXPECT_NE(ns, nullptr);
    LanReaderSetup setup;
    if (!dhcp) setup.configured = {10, 231, static_cast<uint8_t>(network), uint8_t(host)};
    setup.tcp_port = port;
    setup.name = name;
    kovra_sim::SimReaderConfig sim;
    sim.version = "5A1" + std::to_string(host % 10);
    readers_.push_back(
        std::make_unique<LanTestReader>(*ns, LanLab::ReaderAddress(network, host), setup, sim));
    EXPECT_TRUE(readers_.back()->Running());
    return *readers_.back();
  }

  LanLab lab_;
  std::vector<std::unique_ptr<LanTestReader>> readers_;  // destroyed before the lab
};

TEST_F(LanLinkTest, OpensByAddressByAddressAndPortAndByIdentity) {
  AddReader(2, "FIXEDONE", false);
  AddReader(3, "NORTHGATE1", true, 4001);

  const struct {
    const char *name;
    std::string version;
  } opens[] = {
      {"10.231.1.2", "5A12"},           // port 10001
      {"10.231.1.3-4001", "5A13"},      // the last hyphen counts
      {"[NORTHGATE1]", "5A13"},         // a DHCP reader by its identity
      {"[NORTHGATE1]-1234:1", "5A13"},  // what follows the brackets is dropped
  };
  for (const auto &open : opens) {
    const int handle = KOVRA_OpenPort(open.name, 0, 500);
    ASSERT_GT(handle, 20000) << open.name;
    EXPECT_EQ(handle, 20001) << open.name;  // the smallest free LAN handle
    EXPECT_EQ(Version(handle), open.version) << open.name;
    EXPECT_EQ(KOVRA_ClosePort(handle), 0);
  }

  // Two at once count on from 20001.
  const int first = KOVRA_OpenPort("10.231.1.2", 0, 500);
  const int second = KOVRA_OpenPort("[NORTHGATE1]", 0, 500);
  EXPECT_EQ(first, 20001);
  EXPECT_EQ(second, 20002);
  KOVRA_ClosePort(first);
  KOVRA_ClosePort(second);
}

TEST_F(LanLinkTest, OpensThatFailSayWhyAndEndInTime) {
  AddReader(2, "FIXEDONE", false);
  const struct {
    const char *name;
    int failure;
    milliseconds within;
  } refused[] = {
      {"[NOSUCHREADER]", KOVRA_LINK_NO_DEVICE, milliseconds(1000)},
      {"[FIXEDONE]", KOVRA_LINK_NO_DEVICE, milliseconds(1000)},       // fixed: never by identity
      {"10.231.1.2-4999", KOVRA_LINK_NO_DEVICE, milliseconds(1000)},  // nothing listens
      {"10.231.1.2-0", KOVRA_LINK_NO_DEVICE, milliseconds(200)},
      {"10.231.1.2.7", KOVRA_LINK_NO_DEVICE, milliseconds(200)},  // no dotted address
      {"[]", KOVRA_LINK_NO_DEVICE, milliseconds(1000)},
  };
  for (const auto &open : refused) {
    const auto start = Clock::now();
    EXPECT_EQ(KOVRA_OpenPort(open.name, 0, 500), KOVRA_OPEN_FAILED) << open.name;
    EXPECT_EQ(KOVRA_GetLinkFailure(), open.failure) << open.name;
    EXPECT_LT(Since(start), open.within) << open.name;
  }
  // Nobody at an address of the local network: the connect gives up after its timeout.
  const auto start = Clock::now();
  EXPECT_EQ(KOVRA_OpenPort("10.231.1.99", 0, 500), KOVRA_OPEN_FAILED);
  const int failure = KOVRA_GetLinkFailure();
  EXPECT_TRUE(failure == KOVRA_LINK_TIMEOUT || failure == KOVRA_LINK_NO_DEVICE) << failure;
  EXPECT_LT(Since(start), kovra::CTCPSocketThread::StartBound(1));
  EXPECT_EQ(kovra::CKOVRA_SDKApp::Instance().PortCount(), 0u);
}

TEST_F(LanLinkTest, TheConnectionSendsAtOnceFromAPortTheSystemChooses) {
  AddReader(2, "FIXEDONE", false);
  int error = 0;
  const int fd = kovra::CTCPSocketThread::ConnectSocket("10.231.1.1", "10.231.1.2", 10001,
                                                        milliseconds(1000), -1, {}, error);
  ASSERT_GE(fd, 0) << error;
  int nodelay = 0;
  socklen_t length = sizeof nodelay;
  ASSERT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nodelay, &length), 0);
  EXPECT_NE(nodelay, 0);
  sockaddr_in local{};
  length = sizeof local;
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length), 0);
  EXPECT_NE(ntohs(local.sin_port), 10001);
  ::close(fd);
}

TEST_F(LanLinkTest, ReconnectsEachTimeTheReaderClosesTheConnection) {
  LanTestReader &reader = AddReader(2, "FIXEDONE", false);
  const int handle = KOVRA_OpenPort("10.231.1.2", 0, 500);
  ASSERT_GT(handle, 0);
  // Each close leaves a connection on the reader's port behind; reconnects from a fixed local
  // port would soon be refused.
  for (int round = 0; round < 4; ++round) {
    reader.CloseConnection();
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(Version(handle), "5A12") << round;
  }
  EXPECT_EQ(reader.Connections(), 5);
  for (uint16_t port : reader.PeerPorts()) EXPECT_NE(port, 10001);
  KOVRA_ClosePort(handle);
}

TEST_F(LanLinkTest, ASilentReaderTimesOutAndAResetMidReplyIsFollowedByAFreshConnection) {
  LanTestReader &reader = AddReader(2, "FIXEDONE", false);
  const int handle = KOVRA_OpenPort("10.231.1.2", 0, 300);
  ASSERT_GT(handle, 0);

  reader.Sim().SetSilent(true);
  auto start = Clock::now();
  EXPECT_EQ(Version(handle), "");
  EXPECT_EQ(KOVRA_GetLastError(handle), KOVRA_ERR_TIMEOUT);
  EXPECT_LT(Since(start), milliseconds(800));
  reader.Sim().SetSilent(false);
  EXPECT_EQ(Version(handle), "5A12");

  reader.ResetInNextReply();
  EXPECT_EQ(Version(handle), "");  // one byte of the reply, then the reset
  EXPECT_EQ(Version(handle), "5A12");
  EXPECT_EQ(reader.Connections(), 2);

  start = Clock::now();
  EXPECT_EQ(KOVRA_ClosePort(handle), 0);
  EXPECT_LT(Since(start), milliseconds(200));
}

TEST_F(LanLinkTest, BindsToTheAdapterOfTheReadersNetwork) {
  ASSERT_TRUE(lab_.AddNetwork(2));
  // The reader in network 2 has no route back to network 1: a connection from the first adapter
  // would never complete.
  AddReader(7, "SECONDNET", false, 10001, 2);
  const int handle = KOVRA_OpenPort("10.231.2.7", 0, 500);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(Version(handle), "5A17");
  KOVRA_ClosePort(handle);
}

// A peer on the loopback of the test's namespace that accepts one connection and sends zeros
// (never a start byte) until it has sent `limit` bytes (0: until stopped), then keeps the
// connection open until stopped.
class StreamingPeer {
 public:
  explicit StreamingPeer(size_t limit) : limit_(limit) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(listen_fd_, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listen_fd_, 1), 0);
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~StreamingPeer() { Stop(); }
  std::string Name() const { return "127.0.0.1-" + std::to_string(port_); }
  size_t Sent() const { return sent_.load(); }
  // Stops sending and closes the connection.
  void Stop() {
    stop_.store(true);
    ::shutdown(listen_fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listen_fd_ >= 0) ::close(listen_fd_);
    listen_fd_ = -1;
  }

 private:
  void Serve() {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    const timeval timeout{0, 20 * 1000};  // a send that finds no room gives up to look at stop_
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    std::vector<uint8_t> chunk(16384, 0);
    while (!stop_.load()) {
      size_t count = chunk.size();
      if (limit_ != 0) count = std::min(count, limit_ - sent_.load());
      if (count == 0) {
        std::this_thread::sleep_for(milliseconds(10));
        continue;
      }
      const ssize_t n = ::send(fd, chunk.data(), count, MSG_NOSIGNAL);
      if (n > 0) sent_.fetch_add(static_cast<size_t>(n));
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    ::close(fd);
  }

  size_t limit_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> sent_{0};
  std::thread thread_;
};

// An open against a peer that never stops sending ends (no reader answers) instead of hanging in
// the close of its link.
TEST_F(LanLinkTest, AnOpenAgainstAPeerThatNeverStopsSendingEnds) {
  StreamingPeer peer(0);
  std::promise<int> opened;
  std::future<int> result = opened.get_future();
  std::thread opener([&] { opened.set_value(KOVRA_OpenPort(peer.Name().c_str(), 0, 300)); });
  const bool ended = result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!ended) peer.Stop();  // lets a hanging close go on, so that the test itself ends
  opener.join();
  EXPECT_TRUE(ended) << "the open hung while the peer kept sending";
  EXPECT_EQ(result.get(), KOVRA_OPEN_NO_READER);
  EXPECT_GT(peer.Sent(), 0u);
}

// An open port that nobody sends commands on keeps at most one reply frame of what a peer
// streams; the rest is dropped and counted. Closing it while the peer sends ends at once.
TEST_F(LanLinkTest, AnIdlePortKeepsABoundedPartOfAStream) {
  constexpr size_t kStream = 8 * 1024 * 1024;
  StreamingPeer peer(kStream);
  kovra::CKOVRA_Port port;
  auto link = kovra::OpenLanTransport(peer.Name(), port);
  ASSERT_NE(link, nullptr);
  port.AttachTransport(std::move(link), kovra::HandlePool::Lan());
  EXPECT_TRUE(kovra_test::Eventually(
      [&] { return port.DroppedBytes() + port.ReceivedBytes().GetSize() == kStream; },
      milliseconds(20000)));
  EXPECT_LE(port.ReceivedBytes().GetSize(), kovra::CKOVRA_Port::kMaxIdleBytes);

  StreamingPeer endless(0);
  kovra::CKOVRA_Port busy;
  auto busy_link = kovra::OpenLanTransport(endless.Name(), busy);
  ASSERT_NE(busy_link, nullptr);
  busy.AttachTransport(std::move(busy_link), kovra::HandlePool::Lan());
  EXPECT_TRUE(kovra_test::Eventually([&] { return busy.DroppedBytes() > 1024 * 1024; }));
  const auto start = Clock::now();
  busy.CloseTransport();
  EXPECT_LT(Since(start), milliseconds(1000));
}

// A reader behind a router reached through the second adapter: the connection leaves from that
// adapter's address, not from the first adapter's.
TEST_F(LanLinkTest, AReaderBehindARouterIsReachedFromTheAdapterTheRouteLeavesBy) {
  ASSERT_TRUE(lab_.AddNetwork(2));
  kovra_test::NetNamespace *router = lab_.AddReaderHost(2, 2);
  ASSERT_NE(router, nullptr);
  // The reader's namespace is the router too: it holds 10.231.9.2 and reaches back only to the
  // second network; the host reaches 10.231.9.0/24 only through the second adapter.
  ASSERT_TRUE(router->Shell("ip addr add 10.231.9.2/32 dev lo"));
  ASSERT_TRUE(lab_.Host("ip route add 10.231.9.0/24 via 10.231.2.2"));
  LanReaderSetup setup;
  setup.configured = {10, 231, 9, 2};
  setup.name = "ROUTED";
  kovra_sim::SimReaderConfig sim;
  sim.version = "5A19";
  readers_.push_back(std::make_unique<LanTestReader>(*router, "10.231.2.2", setup, sim));
  ASSERT_TRUE(readers_.back()->Running());
  const int handle = KOVRA_OpenPort("10.231.9.2-10001", 0, 500);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(Version(handle), "5A19");
  KOVRA_ClosePort(handle);
}

}  // namespace
