// Trace texts to a tracer beside the application: what goes out, and that neither a stalled tracer
// nor a held lock holds the caller.
#include "reader/trace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kovra::trace {
namespace {

namespace fs = std::filesystem;

// A stand-in tracer: binds the socket and collects every datagram on a thread of its own (a
// Unix datagram queue holds only a few datagrams, so a sender needs a reader that keeps up).
class TracerStub {
 public:
  explicit TracerStub(const fs::path &directory) : path_(directory / kTracerSocketName) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
    const timeval timeout{0, 50 * 1000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    EXPECT_EQ(bind(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    reader_ = std::thread([this] { Collect(); });
  }
  ~TracerStub() { Finish(); }

  // Stops once everything already sent has been read. Result: the values, little-endian.
  std::vector<uint32_t> Finish() {
    if (reader_.joinable()) {
      stop_ = true;
      reader_.join();
      close(fd_);
      unlink(path_.c_str());
    }
    return values_;
  }
  int wrong_lengths() const { return wrong_lengths_; }

 private:
  void Collect() {
    for (;;) {
      unsigned char datagram[16];
      const ssize_t length = recv(fd_, datagram, sizeof datagram, MSG_TRUNC);
      if (length < 0) {
        if (stop_) return;  // a receive timed out after the stop: the queue is drained
        continue;
      }
      if (length != 4) {
        ++wrong_lengths_;
        continue;
      }
      values_.push_back(datagram[0] | datagram[1] << 8 | datagram[2] << 16 |
                        static_cast<uint32_t>(datagram[3]) << 24);
    }
  }

  fs::path path_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread reader_;
  std::vector<uint32_t> values_;
  int wrong_lengths_ = 0;
};

// Characters of the values up to each value's first zero byte, as the tracer prints them.
std::string Unpack(const std::vector<uint32_t> &values) {
  std::string text;
  for (uint32_t value : values) {
    for (int shift = 0; shift < 32 && ((value >> shift) & 0xFF) != 0; shift += 8) {
      text += static_cast<char>((value >> shift) & 0xFF);
    }
  }
  return text;
}

// Points XDG_RUNTIME_DIR at a fresh directory for the test and restores it afterwards.
class TraceTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const char *old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
    char pattern[] = "/tmp/kovra-trace-XXXXXX";  // short: socket paths are limited to 108 bytes
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    setenv("XDG_RUNTIME_DIR", pattern, 1);
  }
  void TearDown() override {
    if (saved_) {
      setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  fs::path LockFile() const { return directory_ / kTracerLockName; }
  // A datagram socket bound where the tracer listens, that never reads; -1 when it cannot be bound.
  int BindSilentTracer() const {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                  (directory_ / kTracerSocketName).c_str());
    if (bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  fs::path directory_;
  std::optional<std::string> saved_;
};

TEST_F(TraceTest, WithoutTracerNothingIsSentAndNoLockFileAppears) {
  EXPECT_EQ(Trace("done\n"), 0);
  EXPECT_EQ(TraceFormatted("KOVRA_ClosePort(%d)\r\n", 3), 0);
  EXPECT_FALSE(fs::exists(LockFile()));

  // A socket file left by a tracer that died refuses the connection: still nothing.
  const int stale = BindSilentTracer();
  ASSERT_GE(stale, 0);
  close(stale);
  EXPECT_EQ(Trace("done\n"), 0);
  EXPECT_FALSE(fs::exists(LockFile()));
}

TEST_F(TraceTest, TextGoesOutAsLittleEndianValuesOfFourCharacters) {
  const struct {
    const char *text;
    std::vector<uint32_t> values;
  } cases[] = {
      {"done\n", {0x656E6F64, 0x0000000A}},
      {"abcd", {0x64636261}},
      {"Add Object... ", {0x20646441, 0x656A624F, 0x2E2E7463, 0x0000202E}},
      {"\xFF\x80", {0x000080FF}},  // bytes above 0x7F are not sign-extended into the high bytes
      {"", {}},
  };
  for (const auto &c : cases) {
    TracerStub tracer(directory_);
    EXPECT_EQ(Trace(c.text), static_cast<int>(c.values.size())) << c.text;
    EXPECT_EQ(tracer.Finish(), c.values) << c.text;
    EXPECT_EQ(tracer.wrong_lengths(), 0);
  }
  EXPECT_TRUE(fs::exists(LockFile()));
}

TEST_F(TraceTest, FormattedTextIsCutTo511Characters) {
  TracerStub tracer(directory_);
  const std::string long_text(600, 'x');
  EXPECT_EQ(TraceFormatted("%s", long_text.c_str()), 128);
  EXPECT_EQ(Unpack(tracer.Finish()), long_text.substr(0, 511));
  EXPECT_EQ(TraceFormatted("KOVRA_OpenPort(%s,%d,%d)", "COM3", 9600, 300), 0);  // tracer gone
}

// A tracer that stops reading fills its queue: the send times out, the rest of the text is dropped
// and the caller goes on after about a second.
TEST_F(TraceTest, StalledTracerDoesNotHoldTheCaller) {
  const int silent = BindSilentTracer();
  ASSERT_GE(silent, 0);
  const std::string text(4000, 's');
  const auto start = std::chrono::steady_clock::now();
  const int sent = Trace(text.c_str());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_GT(sent, 0);
  EXPECT_LT(sent, 1000);
  close(silent);
}

// Each sender traces kTexts lines of one letter; the tracer must see whole lines only.
constexpr int kTexts = 40;
constexpr size_t kLineLength = 23;  // 6 values, the last one partly filled

void TraceLines(char letter) {
  const std::string line = std::string(kLineLength - 1, letter) + '\n';
  for (int i = 0; i < kTexts; ++i) Trace(line.c_str());
}

void ExpectWholeLines(const std::string &received, const std::string &letters) {
  ASSERT_EQ(received.size(), kTexts * kLineLength * letters.size());
  for (size_t start = 0; start < received.size(); start += kLineLength) {
    const std::string line = received.substr(start, kLineLength);
    EXPECT_EQ(line, std::string(kLineLength - 1, line[0]) + '\n') << "at " << start;
  }
}

TEST_F(TraceTest, TextsOfTwoThreadsDoNotInterleave) {
  TracerStub tracer(directory_);
  std::thread first(TraceLines, 'A');
  std::thread second(TraceLines, 'B');
  first.join();
  second.join();
  ExpectWholeLines(Unpack(tracer.Finish()), "AB");
}

// Processes serialise through the lock file. Children forked after this process has traced share
// its open lock file, which must not let both of them in at once.
TEST_F(TraceTest, TextsOfTwoProcessesDoNotInterleave) {
  TracerStub tracer(directory_);
  ASSERT_EQ(Trace("\n"), 1);
  std::vector<pid_t> children;
  for (char letter : {'C', 'D'}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TraceLines(letter);
      _exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ExpectWholeLines(Unpack(tracer.Finish()).substr(1), "CD");
}

// Without a folder of the user's own nothing is traced: a shared folder is never used.
TEST_F(TraceTest, WithoutARuntimeFolderThereIsNoTracer) {
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(TracerDirectory(), "");
  EXPECT_EQ(Trace("nobody listens\n"), 0);
}

// A lock held by someone else for good costs one text a bounded wait; that text is dropped
// rather than mixed into another sender's, and the texts after it do not wait at all.
TEST_F(TraceTest, ALockThatIsNeverGivenBackDoesNotHoldTheCaller) {
  TracerStub tracer(directory_);
  const int holder = open(LockFile().c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  std::future<void> texts = std::async(std::launch::async, [] {
    for (int i = 0; i < 20; ++i) Trace("held up?\n");
  });
  const bool ended = texts.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
  flock(holder, LOCK_UN);  // lets a blocked sender go on, so that the test itself ends
  texts.wait();
  close(holder);
  EXPECT_TRUE(ended);
  EXPECT_EQ(Unpack(tracer.Finish()), "");
  // Once the lock is free again, texts go out whole.
}

// A tracer that never reads: many texts cost about one text's wait, not a wait each.
TEST_F(TraceTest, ATracerThatNeverReadsCostsOneBoundedWait) {
  const int silent = BindSilentTracer();
  ASSERT_GE(silent, 0);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 30; ++i) Trace("a line of an open that nobody reads\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  close(silent);
}

}  // namespace
}  // namespace kovra::trace
