// The reader served on a pseudo-terminal, reached the way a host reaches a serial port: open(2)
// on the slave path, raw termios, write a frame, read the reply.
#include "sim/pty_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "sim/reader.h"
#include "unit/reader/hex.h"

namespace {

using kovra_sim::PtyServer;
using kovra_sim::SimReader;
using kovra_test::Hex;
using kovra_test::ToHex;

// Opens the slave like a host opens a serial port, raw, at the given speed and framing.
int OpenPort(const std::string &path, speed_t speed = B19200, tcflag_t extra_cflag = 0) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return fd;
  termios settings{};
  ::tcgetattr(fd, &settings);
  ::cfmakeraw(&settings);
  ::cfsetispeed(&settings, speed);
  ::cfsetospeed(&settings, speed);
  settings.c_cflag |= extra_cflag;
  ::tcsetattr(fd, TCSANOW, &settings);
  return fd;
}

// Reads until `count` bytes have come or 2 s have passed.
std::string ReadReply(int fd, size_t count) {
  kovra_sim::Bytes reply;
  const auto deadline = kovra_sim::SimClock::now() + std::chrono::seconds(2);
  while (reply.size() < count && kovra_sim::SimClock::now() < deadline) {
    pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    uint8_t buffer[512];
    const ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n <= 0) break;
    reply.insert(reply.end(), buffer, buffer + n);
  }
  return ToHex(reply);
}

std::string Ask(int fd, const char *frame, size_t reply_length) {
  const kovra_sim::Bytes bytes = Hex(frame);
  if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return "";
  return ReadReply(fd, reply_length);
}

TEST(SimPtyServerTest, AHostOpensTheSlaveAsASerialPortAndMayReopenIt) {
  SimReader reader;
  PtyServer server(reader);
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  ASSERT_EQ(server.Path().rfind("/dev/pts/", 0), 0u) << server.Path();

  for (int round = 0; round < 3; ++round) {  // close and open again: still served
    const int fd = OpenPort(server.Path());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Ask(fd, "02 01 F0 00 F1", 9), "02 01 00 04 31 32 33 34 01") << round;
    ::close(fd);
  }
  EXPECT_EQ(reader.CommandCount(0xF0), 3u);
}

TEST(SimPtyServerTest, BytesPassUntranslated) {
  SimReader reader;
  PtyServer server(reader);
  ASSERT_TRUE(server.Start());
  reader.PlaceCard(kovra_sim::CardKind::kIso, Hex("04 11 22 33 44 55 66"));
  // The host leaves the line as it finds it: the server's raw settings are all there is between
  // CR, LF, XON, XOFF and a translation.
  const int fd = ::open(server.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Ask(fd, "02 01 F5 01 01 F4", 5), "02 01 00 00 01");
  EXPECT_EQ(Ask(fd, "02 01 31 00 30", 13), "02 01 00 08 20 04 11 22 33 44 55 66 5A");
  EXPECT_EQ(Ask(fd, "02 01 41 00 40", 11), "02 01 00 06 06 75 77 81 02 80 00");
  // The echoing card sends CR, LF, XON and XOFF back: they must arrive as they were sent, and
  // the command carrying them must reach the reader whole.
  EXPECT_EQ(Ask(fd, "02 01 45 04 0D 0A 11 13 45", 9), "02 01 00 04 0D 0A 11 13 00");
  ::close(fd);
}

TEST(SimPtyServerTest, ReportsTheLineSettingsTheHostChose) {
  SimReader reader;
  PtyServer server(reader);
  ASSERT_TRUE(server.Start());
  const int fd = OpenPort(server.Path(), B9600, CSTOPB | PARENB | PARODD);
  ASSERT_GE(fd, 0);
  const auto line = server.Line();
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(line->baud, 9600u);
  EXPECT_EQ(line->stop_bits, 2);
  EXPECT_TRUE(line->parity_odd);
  EXPECT_FALSE(line->parity);  // the pty clears PARENB on its own
  EXPECT_EQ(line->data_bits, 8);
  // The reader learns them with the next bytes that arrive.
  EXPECT_EQ(Ask(fd, "02 01 F0 00 F1", 9), "02 01 00 04 31 32 33 34 01");
  ASSERT_TRUE(reader.Line().has_value());
  EXPECT_EQ(reader.Line()->baud, 9600u);
  ::close(fd);
}

// Waits up to 2 s for the descriptor to report a hang-up.
short WaitForHangUp(int fd) {
  pollfd p = {fd, POLLIN, 0};
  const auto deadline = kovra_sim::SimClock::now() + std::chrono::seconds(2);
  while (kovra_sim::SimClock::now() < deadline) {
    if (::poll(&p, 1, 100) > 0 && (p.revents & POLLHUP)) return p.revents;
  }
  return p.revents;
}

TEST(SimPtyServerTest, DroppingTheLinkHangsUpOnTheHost) {
  enum class How { kServer, kReader };
  for (const How how : {How::kServer, How::kReader}) {
    SimReader reader;
    PtyServer server(reader);
    ASSERT_TRUE(server.Start());
    const int fd = OpenPort(server.Path());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Ask(fd, "02 01 F0 00 F1", 9), "02 01 00 04 31 32 33 34 01");
    if (how == How::kServer) {
      server.DropLink();
    } else {
      reader.DropLink();  // the control command's way: through the connection's on_gone
    }
    EXPECT_NE(WaitForHangUp(fd) & POLLHUP, 0);
    uint8_t byte = 0;
    const ssize_t n = ::read(fd, &byte, 1);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n;
    const auto deadline = kovra_sim::SimClock::now() + std::chrono::seconds(2);
    while (!server.LinkDropped() && kovra_sim::SimClock::now() < deadline) {
      ::poll(nullptr, 0, 5);
    }
    EXPECT_TRUE(server.LinkDropped());
    EXPECT_FALSE(server.Line().has_value());
    ::close(fd);
    // The lost path stays gone while the server lives: a host that keeps re-opening it must not
    // reach the next pty the system hands out (another simulator's reader).
    PtyServer next(reader);
    ASSERT_TRUE(next.Start());
    EXPECT_NE(next.Path(), server.Path());
    EXPECT_LT(OpenPort(server.Path()), 0);
  }
}

}  // namespace
