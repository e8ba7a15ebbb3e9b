// Network readers opened with KOVRA_OpenPort and used over TCP, inside network namespaces of the
// test's own (support/lan_lab.h): the name forms, reconnects, a reader that falls silent, a reset
// in the middle of a reply, and opens that must fail in bounded time.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "kovra.h"
#include "reader/sdk_app.h"
#include "support/lan_calls.h"
#include "support/lan_lab.h"
#include "support/lan_test_reader.h"
#include "transport/lan_link.h"

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

}  // namespace
