// The network reader over real sockets. On loopback: the configuration service's faults through
// the control language. In network namespaces of the test's own (tests/support/net_namespace.h):
// the reader carries the reader protocol over TCP, answers broadcasts from its address, and after
// an address assignment or a setup-record write with the end-of-configuration command it is
// reachable at its new address and port and no longer at the old ones.
#include "sim/lan_reader.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "sim/control.h"
#include "sim/lan_control.h"
#include "sim/reader.h"
#include "support/net_namespace.h"
#include "unit/reader/hex.h"

namespace {

using kovra_sim::Bytes;
using kovra_sim::Ipv4;
using kovra_sim::LanReader;
using kovra_sim::LanReaderConfig;
using kovra_sim::SimReader;
using kovra_test::Hex;
using kovra_test::NetNamespaces;
using kovra_test::NetRun;
using kovra_test::ToHex;
using std::chrono::milliseconds;

constexpr const char *kVersionReply = "02 01 00 04 31 32 33 34 01";
constexpr Ipv4 kBroadcast = {255, 255, 255, 255};
constexpr Ipv4 kHostSide = {10, 231, 0, 1};
constexpr Ipv4 kReaderSide = {10, 231, 0, 2};

sockaddr_in SocketAddress(const Ipv4 &address, uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  std::memcpy(&to.sin_addr, address.data(), 4);
  return to;
}

// Connects within `patience`; -1 when it does not.
int Connect(const Ipv4 &address, uint16_t port, milliseconds patience) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const sockaddr_in to = SocketAddress(address, port);
  if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof(to)) != 0 &&
      errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  pollfd p = {fd, POLLOUT, 0};
  int failure = 0;
  socklen_t length = sizeof(failure);
  if (::poll(&p, 1, static_cast<int>(patience.count())) != 1 ||
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0 || failure != 0) {
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, 0);
  return fd;
}

// The version query over a fresh connection; empty when no connection came about.
std::string VersionAt(const Ipv4 &address, uint16_t port, milliseconds patience) {
  const int fd = Connect(address, port, patience);
  if (fd < 0) return "";
  const Bytes query = Hex("02 01 F0 00 F1");
  Bytes reply;
  if (::send(fd, query.data(), query.size(), MSG_NOSIGNAL) == 5) {
    pollfd p = {fd, POLLIN, 0};
    while (reply.size() < 9 && ::poll(&p, 1, 1000) == 1) {
      uint8_t buffer[64];
      const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      reply.insert(reply.end(), buffer, buffer + n);
    }
  }
  ::close(fd);
  return ToHex(reply);
}

// Keeps asking for the version until the reader answers at the address or 5 s have passed.
std::string VersionOnceBack(const Ipv4 &address, uint16_t port) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::string reply;
  while (reply.empty() && std::chrono::steady_clock::now() < deadline) {
    reply = VersionAt(address, port, milliseconds(200));
    if (reply.empty()) ::poll(nullptr, 0, 50);
  }
  return reply;
}

struct Datagram {
  Ipv4 sender{};
  Bytes bytes;
};

// A host's socket on the configuration port's side: sends requests, takes answers.
class ConfigClient {
 public:
  explicit ConfigClient(const Ipv4 &local, uint16_t service_port = kovra_sim::kLanConfigPort)
      : service_port_(service_port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
    const sockaddr_in here = SocketAddress(local, 0);
    ::bind(fd_, reinterpret_cast<const sockaddr *>(&here), sizeof(here));
  }
  ~ConfigClient() { ::close(fd_); }

  bool Send(const Ipv4 &to, const Bytes &datagram) const {
    const sockaddr_in there = SocketAddress(to, service_port_);
    return ::sendto(fd_, datagram.data(), datagram.size(), 0,
                    reinterpret_cast<const sockaddr *>(&there),
                    sizeof(there)) == static_cast<ssize_t>(datagram.size());
  }
  // The next datagram within `patience`.
  std::optional<Datagram> Receive(milliseconds patience = milliseconds(1000)) const {
    pollfd p = {fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(patience.count())) != 1) return std::nullopt;
    uint8_t buffer[2048];
    sockaddr_in from{};
    socklen_t length = sizeof(from);
    const ssize_t n =
        ::recvfrom(fd_, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr *>(&from), &length);
    if (n < 0) return std::nullopt;
    Datagram datagram;
    std::memcpy(datagram.sender.data(), &from.sin_addr, 4);
    datagram.bytes.assign(buffer, buffer + n);
    return datagram;
  }
  // How many datagrams arrive within `window`.
  size_t Count(milliseconds window) const {
    size_t count = 0;
    const auto end = std::chrono::steady_clock::now() + window;
    while (std::chrono::steady_clock::now() < end && Receive(milliseconds(20))) ++count;
    return count;
  }

 private:
  int fd_ = -1;
  uint16_t service_port_;
};

// An extended address assignment for the default identifier.
Bytes ExtendedAssignment(const char *address_port_mask_gateway, const std::string &name) {
  Bytes datagram = Hex("00 00 00 FC");
  const std::string mark = "IP-SETUPEX";
  datagram.insert(datagram.end(), mark.begin(), mark.end());
  const Bytes fields = Hex(std::string("02 4B 56 00 00 01") + address_port_mask_gateway);
  datagram.insert(datagram.end(), fields.begin(), fields.end());
  std::string padded = name;
  padded.resize(16, '\0');
  datagram.insert(datagram.end(), padded.begin(), padded.end());
  return datagram;
}

LanReaderConfig ReaderInNamespace(bool dhcp) {
  LanReaderConfig config;
  config.address = kReaderSide;
  config.settings.address = dhcp ? Ipv4{} : kReaderSide;
  config.settings.name = "NORTHGATE1";
  config.identity.id = {0x02, 0x4B, 0x56, 0x00, 0x00, 0x01};
  config.interface = "kvr0";
  config.restart_time = milliseconds(300);
  return config;
}

// Runs `body` in the test's namespaces with a network reader started in the peer namespace.
void WithReaderInNamespace(bool dhcp, const std::function<void(LanReader &lan)> &body) {
  const NetRun run = kovra_test::RunInNetNamespaces(
      {},
      [&](NetNamespaces &net) {
        SimReader reader;
        std::optional<LanReader> lan;
        std::string error;
        const bool started = net.InPeer(0, [&] {
          lan.emplace(reader, ReaderInNamespace(dhcp));
          return lan->Start(&error);
        });
        ASSERT_TRUE(started) << error;
        body(*lan);
      },
      [] { return ::testing::Test::HasFailure(); });
  if (run.skipped) GTEST_SKIP() << run.message;
  EXPECT_TRUE(run.passed) << run.message;
}

TEST(SimLanReaderTest, ServiceFaultsComeAndGoThroughTheControlLanguage) {
  SimReader reader;
  LanReaderConfig config;
  config.address = {127, 0, 0, 1};
  config.settings.address = config.address;
  config.settings.port = 0;  // a free port
  config.config_port = 0;
  LanReader lan(reader, config);
  std::string error;
  ASSERT_TRUE(lan.Start(&error)) << error;
  kovra_sim::LanControl extension(lan);
  kovra_sim::ControlHooks hooks;
  hooks.extension = &extension;
  kovra_sim::ControlInterpreter control(reader, hooks);
  const ConfigClient client({127, 0, 0, 1}, lan.ConfigPort());
  const Bytes search = Hex("00 01 00 F8");

  ASSERT_TRUE(client.Send({127, 0, 0, 1}, search));
  const std::optional<Datagram> answer = client.Receive();
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->bytes[3], 0xF9);

  EXPECT_EQ(control.Execute("fault lan-silent"), "ok");
  client.Send({127, 0, 0, 1}, search);
  EXPECT_EQ(client.Count(milliseconds(200)), 0u);

  EXPECT_EQ(control.Execute("fault none"), "ok");
  EXPECT_EQ(control.Execute("fault lan-flood"), "ok");
  EXPECT_NE(control.Execute("lan").find(R"("faults":{"silent":false,"flood":true})"),
            std::string::npos);
  client.Send({127, 0, 0, 1}, search);
  // A search that waits 500 ms for silence would never end: answers keep coming.
  EXPECT_GE(client.Count(milliseconds(300)), 10u);
  EXPECT_EQ(control.Execute("fault none"), "ok");
  client.Count(milliseconds(50));  // what was on its way
  EXPECT_EQ(client.Count(milliseconds(100)), 0u);
}

TEST(SimLanReaderTest, MovesToTheAddressAnExtendedAssignmentGivesIt) {
  WithReaderInNamespace(false, [](LanReader &lan) {
    EXPECT_EQ(VersionAt(kReaderSide, 10001, milliseconds(1000)), kVersionReply);

    const ConfigClient client(kHostSide);
    ASSERT_TRUE(client.Send(kBroadcast, Hex("00 01 00 F6")));
    const std::optional<Datagram> identify = client.Receive();
    ASSERT_TRUE(identify.has_value());
    EXPECT_EQ(identify->sender, kReaderSide);
    EXPECT_EQ(ToHex(identify->bytes.data() + 4 + 20, 6), "02 4B 56 00 00 01");

    // 10.231.0.7, port 10002, 255.255.255.0, no gateway, a new name.
    ASSERT_TRUE(client.Send(
        kBroadcast, ExtendedAssignment("0A E7 00 07 12 27 FF FF FF 00 00 00 00 00", "MOVED")));
    // Restarting: a request now is dropped, not answered late.
    client.Send(kBroadcast, Hex("00 01 00 F8"));
    EXPECT_FALSE(client.Receive(milliseconds(150)).has_value());

    const Ipv4 moved = {10, 231, 0, 7};
    EXPECT_EQ(VersionOnceBack(moved, 10002), kVersionReply);
    EXPECT_EQ(VersionAt(kReaderSide, 10001, milliseconds(1000)), "");
    EXPECT_EQ(lan.Status().error, "");

    // Asked at its new address, it answers from there with the new settings.
    ASSERT_TRUE(client.Send(moved, Hex("00 01 00 F8")));
    const std::optional<Datagram> setup = client.Receive();
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(setup->sender, moved);
    ASSERT_EQ(setup->bytes.size(), 4u + 126u);
    EXPECT_EQ(ToHex(setup->bytes.data() + 4, 4), "0A E7 00 07");
    EXPECT_EQ(ToHex(setup->bytes.data() + 4 + 20, 2), "12 27");

    // A record write takes effect with the end of configuration: port 10003.
    Bytes write = Hex("00 00 00 FD");
    write.insert(write.end(), setup->bytes.begin() + 4, setup->bytes.end());
    write[4 + 20] = 0x13;
    ASSERT_TRUE(client.Send(moved, write));
    const std::optional<Datagram> written = client.Receive();
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(ToHex(written->bytes), "00 00 00 FB");
    EXPECT_EQ(VersionAt(moved, 10002, milliseconds(1000)), kVersionReply);  // not yet
    ASSERT_TRUE(client.Send(moved, Hex("00 00 00 03 58 33")));
    ::poll(nullptr, 0, 100);
    EXPECT_TRUE(lan.WaitUntilServing(milliseconds(5000)));
    EXPECT_EQ(VersionAt(moved, 10003, milliseconds(1000)), kVersionReply);
    EXPECT_EQ(VersionAt(moved, 10002, milliseconds(1000)), "");
    EXPECT_EQ(lan.Status().restarts, 2u);
  });
}

TEST(SimLanReaderTest, DhcpReaderAnswersTheSearchByIdentityAndKeepsItsAddress) {
  WithReaderInNamespace(true, [](LanReader &lan) {
    const ConfigClient client(kHostSide);
    ASSERT_TRUE(client.Send(kBroadcast, Hex("00 01 00 F8")));
    const std::optional<Datagram> setup = client.Receive();
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(setup->sender, kReaderSide);
    ASSERT_EQ(setup->bytes.size(), 4u + 126u);
    const Bytes &record = setup->bytes;
    EXPECT_EQ(ToHex(record.data() + 4, 4), "00 00 00 00");
    EXPECT_EQ(std::string(record.begin() + 4 + 112, record.begin() + 4 + 120), "NORTHGAT");
    EXPECT_EQ(std::string(record.begin() + 4 + 84, record.begin() + 4 + 92),
              std::string("E1") + std::string(6, '\0'));

    // Still DHCP, another port and name: it restarts and keeps its address.
    ASSERT_TRUE(client.Send(
        kBroadcast, ExtendedAssignment("00 00 00 00 14 27 00 00 00 00 00 00 00 00", "NORTHGATE2")));
    EXPECT_EQ(VersionOnceBack(kReaderSide, 10004), kVersionReply);
    EXPECT_EQ(VersionAt(kReaderSide, 10001, milliseconds(1000)), "");
    const kovra_sim::LanStatus status = lan.Status();
    EXPECT_EQ(status.address, kReaderSide);
    EXPECT_EQ(status.record.name, "NORTHGATE2");
    EXPECT_TRUE(status.record.Dhcp());
  });
}

}  // namespace
