// The control language: a table of lines and their answers, the JSON state after a set-up, the
// line splitter on hostile input, and the control socket.
#include "sim/control.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "sim/control_server.h"
#include "sim/reader.h"
#include "unit/sim/sim_host.h"

namespace {

using kovra_sim::ControlInterpreter;
using kovra_sim::LineSplitter;
using kovra_sim::SimReader;

struct LineCase {
  const char *line;
  const char *answer;  // an answer ending in '*' only has to start with the text before it
};

bool Matches(const std::string &answer, const std::string &expected) {
  if (!expected.empty() && expected.back() == '*') {
    return answer.rfind(expected.substr(0, expected.size() - 1), 0) == 0;
  }
  return answer == expected;
}

TEST(SimControlTest, AnswersEachLine) {
  const LineCase cases[] = {
      {"", ""},
      {"   \t ", ""},
      {"place desfire uid=04AABBCCDDEEFF", "ok uid=04AABBCCDDEEFF"},
      {"place classic1k uid=a1b2c3d4", "ok uid=A1B2C3D4"},
      {"place ultralight", "ok uid=04*"},
      {"  place\tiso  ", "ok uid=04*"},
      {"place", "error: usage: place desfire|iso|classic1k|classic4k|ultralight [uid=HEX]"},
      {"place floppy", "error: unknown card kind 'floppy'*"},
      {"place iso uid=0102", "error: uid must be 4, 7 or 10 bytes in hex, not '0102'"},
      {"place iso uid=04AABBCCDDEEFG", "error: uid must be*"},
      {"place iso serial=01020304", "error: usage: place*"},
      {"remove", "ok"},
      {"remove now", "error: usage: remove"},
      {"feed 3", "ok"},
      {"feed 3 leave=50 gap=0 kind=iso", "ok"},
      {"feed 0", "error: N must be 1..100000, not '0'"},
      {"feed -1", "error: N must be*"},
      {"feed 99999999999999999999999", "error: N must be*"},
      {"feed 2 leave=0", "error: leave must be 1..3600000 ms, not '0'"},
      {"feed 2 gap=x", "error: gap must be*"},
      {"feed 2 speed=3", "error: unknown option 'speed=3'*"},
      {"again 1 leave=50", "ok 1"},
      {"again 0", "error: N must be*"},
      {"again 2 kind=iso", "error: unknown option 'kind=iso'; usage: again N*"},
      {"log on", "ok"},
      {"log off", "ok"},
      {"log maybe", "error: usage: log on|off"},
      {"fault silent", "ok"},
      {"fault none", "ok"},
      {"fault bad-checksum", "ok"},
      {"fault remove-after 2", "ok"},
      {"fault remove-after", "error: usage: fault remove-after K"},
      {"fault remove-after two", "error: K must be*"},
      {"fault drop-link", "ok"},
      {"fault fire", "error: unknown fault 'fire'*"},
      {"family 3", "ok"},
      {"fault bad-checksum", "error: family 3 replies carry no checksum"},
      {"family 4", "error: usage: family 0|1|2|3"},
      {"version 117A", "ok"},
      {"version", "error: usage: version TEXT*"},
      {"version 123456789012345678901234567890123", "error: usage: version TEXT*"},
      {"fv 9Z01", "ok"},
      {"help", "ok commands: *"},
      {"quit now", "error: usage: quit"},
      {"quit", "ok"},
      {"bogus", "error: unknown command 'bogus'; try help"},
      // Input bytes are never echoed raw.
      {"\x01\xff\\x", "error: unknown command '\\x01\\xFF\\x5Cx'; try help"},
  };
  SimReader reader;
  int quits = 0;
  ControlInterpreter control(reader, {[&] { ++quits; }, [](bool, const kovra_sim::Bytes &) {}, {}});
  for (const LineCase &c : cases) {
    const std::string answer = control.Execute(c.line);
    EXPECT_TRUE(Matches(answer, c.answer)) << "line '" << c.line << "' gave '" << answer << "'";
  }
  EXPECT_EQ(quits, 1);
}

TEST(SimControlTest, CommandsChangeTheReaderAndTheStateShowsIt) {
  SimReader reader;
  kovra_sim_test::Host host(reader, 0);
  kovra_sim::LineSettings line;
  line.baud = 9600;
  line.stop_bits = 2;
  ControlInterpreter control(reader,
                             {{},
                              [](bool, const kovra_sim::Bytes &) {},
                              [&] { return std::optional<kovra_sim::LineSettings>(line); }});
  ASSERT_EQ(control.Execute("place classic4k uid=01020304"), "ok uid=01020304");
  ASSERT_EQ(control.Execute("place iso uid=04112233445566"), "ok uid=04112233445566");
  host.Send(0xF5, std::string("01"));
  host.Send(0x31);
  ASSERT_EQ(control.Execute("fault remove-after 5"), "ok");
  ASSERT_EQ(control.Execute("version 117A"), "ok");
  ASSERT_EQ(control.Execute("fv 9Z01"), "ok");
  ASSERT_EQ(control.Execute("log on"), "ok");

  const std::string state = control.Execute("state");
  EXPECT_EQ(state.find('\n'), std::string::npos);
  const char *expected[] = {
      R"("family":0)",
      R"("version":"117A")",
      R"("fv":"9Z01")",
      R"("on":true)",
      R"("card":{"kind":"iso","uid":"04112233445566","state":"selected")",
      R"("history":[{"kind":"classic4k","uid":"01020304",)",
      R"("reason":"replaced")",
      R"("commands":{"total":2,"by_code":{"31":1,"F5":1}})",
      R"("remove_after":5)",
      R"("link_dropped":false)",
      R"("line":{"baud":9600,"parity":false,"parity_odd":false,"stop_bits":2,"data_bits":8})",
      R"("log":true)",
  };
  for (const char *part : expected) {
    EXPECT_NE(state.find(part), std::string::npos) << part << " missing in " << state;
  }
  EXPECT_EQ(reader.Config().version, "117A");
  EXPECT_TRUE(reader.FrameLogOn());

  ASSERT_EQ(control.Execute("family 2"), "ok");
  EXPECT_EQ(reader.Config().family, 2);
  ASSERT_EQ(control.Execute("fault drop-link"), "ok");
  EXPECT_TRUE(reader.LinkDropped());
  ASSERT_EQ(control.Execute("feed 2 kind=classic1k"), "ok");
  const std::string fed = control.Execute("state");
  EXPECT_NE(fed.find(R"("card":{"kind":"classic1k")"), std::string::npos) << fed;
  EXPECT_NE(fed.find(R"("cards_to_come":1)"), std::string::npos) << fed;
  EXPECT_NE(fed.find(R"("link_dropped":true)"), std::string::npos) << fed;
}

TEST(SimControlTest, TheLineSplitterCopesWithAnyInput) {
  LineSplitter splitter;
  std::vector<std::string> lines;
  const auto collect = [&](std::string_view line, bool too_long) {
    lines.push_back(too_long ? "<too long>" : std::string(line));
  };
  const std::string input = std::string("state\r\nplace iso\n\n\0\x01\xff\n", 22) + "rem";
  splitter.Feed(input.data(), input.size(), collect);
  splitter.Feed("ove\n", 4, collect);
  const std::string huge(LineSplitter::kMaxLine + 1, 'a');
  splitter.Feed(huge.data(), huge.size(), collect);
  splitter.Feed(huge.data(), huge.size(), collect);  // still the same line: nothing kept
  EXPECT_LE(splitter.Buffered(), LineSplitter::kMaxLine);
  splitter.Feed("\nquit\n", 6, collect);
  EXPECT_EQ(lines, (std::vector<std::string>{"state", "place iso", "", std::string("\0\x01\xff", 3),
                                             "remove", "<too long>", "quit"}));
  const std::string exact(LineSplitter::kMaxLine, 'b');
  lines.clear();
  splitter.Feed(exact.data(), exact.size(), collect);
  splitter.Feed("\n", 1, collect);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), LineSplitter::kMaxLine);  // the longest line still allowed
}

// A control client over the Unix socket.
class Client {
 public:
  explicit Client(const std::string &path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    const timeval timeout{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  }
  ~Client() { ::close(fd_); }
  bool Connected() const { return connected_; }
  void Send(const std::string &bytes) {
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // The next answer line, without its end; empty on timeout or end.
  std::string Line() {
    for (;;) {
      const size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      char buffer[4096];
      const ssize_t n = ::recv(fd_, buffer, sizeof(buffer), 0);
      if (n <= 0) return {};
      pending_.append(buffer, static_cast<size_t>(n));
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string pending_;
};

TEST(SimControlTest, TheSocketServesSeveralClientsLineByLine) {
  SimReader reader;
  std::atomic<int> quits{0};
  ControlInterpreter control(reader, {[&] { ++quits; }, {}, {}});
  kovra_sim::ControlServer server(control);
  const std::string path = "/tmp/kovra-sim-test-" + std::to_string(::getpid()) + ".ctl";
  std::string error;
  ASSERT_TRUE(server.Listen(path, &error)) << error;
  ASSERT_TRUE(server.Start(&error)) << error;

  Client first(path), second(path);
  ASSERT_TRUE(first.Connected() && second.Connected());
  first.Send("place iso uid=04010203040506\nbogus\n\n");
  second.Send(std::string(LineSplitter::kMaxLine + 10, 'x') + "\nstate\n");
  EXPECT_EQ(first.Line(), "ok uid=04010203040506");
  EXPECT_EQ(first.Line(), "error: unknown command 'bogus'; try help");
  EXPECT_EQ(second.Line(), "error: line too long (at most 4096 bytes)");
  EXPECT_NE(second.Line().find(R"("uid":"04010203040506")"), std::string::npos);
  first.Send("qu");
  first.Send("it\n");
  EXPECT_EQ(first.Line(), "ok");
  EXPECT_EQ(quits, 1);

  server.Stop();
  EXPECT_NE(::access(path.c_str(), F_OK), 0);  // the socket file is gone
}

TEST(SimControlTest, ListenReplacesAStaleSocketButNoOtherFile) {
  SimReader reader;
  ControlInterpreter control(reader);
  const std::string path = "/tmp/kovra-sim-test-file-" + std::to_string(::getpid());
  FILE *file = std::fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  std::string error;
  {
    kovra_sim::ControlServer server(control);
    EXPECT_FALSE(server.Listen(path, &error));
    EXPECT_NE(error.find("not a socket"), std::string::npos) << error;
  }
  ::unlink(path.c_str());
  // A socket file left behind by a run that crashed.
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
  ::close(stale);
  kovra_sim::ControlServer server(control);
  EXPECT_TRUE(server.Listen(path, &error)) << error;
  server.Stop();
}

}  // namespace
