// The reader served over TCP on loopback, reached as a network host reaches it: connect, write a
// frame, read the reply. One host at a time (a newcomer replaces the host before it), and the
// link faults a host's tests need: an orderly close and a reset in the middle of a reply.
#include "sim/tcp_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>

#include "sim/reader.h"
#include "unit/reader/hex.h"

namespace {

using kovra_sim::SimReader;
using kovra_sim::TcpServer;
using kovra_test::Hex;
using kovra_test::ToHex;

constexpr const char *kVersionQuery = "02 01 F0 00 F1";
constexpr const char *kVersionReply = "02 01 00 04 31 32 33 34 01";

int Connect(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof(to)) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

struct Received {
  std::string bytes;  // hex
  int end = 0;        // 0: still open; 1: closed in order; errno of the receive otherwise
};

// Reads until `count` bytes have come, the connection ends, or 2 s have passed.
Received Read(int fd, size_t count) {
  kovra_sim::Bytes bytes;
  Received received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
    pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    uint8_t buffer[512];
    const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
    if (n <= 0) {
      received.end = n == 0 ? 1 : errno;
      break;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  received.bytes = ToHex(bytes);
  return received;
}

Received Ask(int fd, const char *frame, size_t count) {
  const kovra_sim::Bytes bytes = Hex(frame);
  if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
    return {"", errno};
  }
  return Read(fd, count);
}

class SimTcpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server_.Start({127, 0, 0, 1}, 0, &error)) << error;
    ASSERT_NE(server_.Port(), 0);
  }
  SimReader reader_;
  TcpServer server_{reader_};
};

TEST_F(SimTcpServerTest, CarriesTheReaderProtocolAndServesTheNextHost) {
  for (int round = 0; round < 2; ++round) {  // the host closes and comes again
    const int fd = Connect(server_.Port());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Ask(fd, kVersionQuery, 9).bytes, kVersionReply) << round;
    ::close(fd);
  }
  EXPECT_EQ(reader_.CommandCount(0xF0), 2u);
}

TEST_F(SimTcpServerTest, ANewHostReplacesTheConnectedOne) {
  const int first = Connect(server_.Port());
  ASSERT_GE(first, 0);
  EXPECT_EQ(Ask(first, kVersionQuery, 9).bytes, kVersionReply);
  const int second = Connect(server_.Port());
  ASSERT_GE(second, 0);
  EXPECT_EQ(Read(first, 1).end, 1);  // closed in order
  EXPECT_EQ(Ask(second, kVersionQuery, 9).bytes, kVersionReply);
  EXPECT_EQ(server_.Accepted(), 2u);
  ::close(first);
  ::close(second);
}

TEST_F(SimTcpServerTest, LinkFaultsEndTheConnectionAndTheServerListensOn) {
  struct Case {
    const char *fault;
    std::function<void()> arm;
    std::string reply;  // what arrives of the reply before the end
    int end;
  };
  const Case cases[] = {
      {"drop-link", [this] { reader_.DropLink(); }, "", 1},
      {"reset-link", [this] { server_.ResetLink(); }, "", ECONNRESET},
      // Half of the 9 reply bytes, then the reset.
      {"reset-mid-reply", [this] { server_.ResetMidReply(); }, "02 01 00 04", ECONNRESET},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.fault);
    const int fd = Connect(server_.Port());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Ask(fd, kVersionQuery, 9).bytes, kVersionReply);
    c.arm();
    const Received received = c.reply.empty() ? Read(fd, 1) : Ask(fd, kVersionQuery, 9);
    EXPECT_EQ(received.bytes, c.reply);
    EXPECT_EQ(received.end, c.end);
    ::close(fd);

    const int next = Connect(server_.Port());
    ASSERT_GE(next, 0);
    EXPECT_EQ(Ask(next, kVersionQuery, 9).bytes, kVersionReply);
    ::close(next);
  }
}

}  // namespace
