// The library against the simulated reader on a real pseudo-terminal: opening in each family,
// bus addresses, line settings, transponder commands, faults on the line and an unplugged device.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "kovra.h"
#include "reader/exchange.h"
#include "reader/sdk_app.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "unit/reader/hex.h"

namespace {

using kovra_sim::PtyServer;
using kovra_sim::SimReader;
using kovra_sim::SimReaderConfig;
using kovra_test::Hex;
using kovra_test::ToHex;

// A simulated reader served on its own pseudo-terminal.
class ReaderOnPty {
 public:
  explicit ReaderOnPty(SimReaderConfig config) : reader_(config), server_(reader_) {
    std::string error;
    if (!server_.Start(&error)) ADD_FAILURE() << "pty server: " << error;
  }
  SimReader &reader() { return reader_; }
  PtyServer &server() { return server_; }
  std::string path() const { return server_.Path(); }

 private:
  SimReader reader_;
  PtyServer server_;
};

SimReaderConfig Family(int family, std::string version = "1234") {
  SimReaderConfig config;
  config.family = family;
  config.version = std::move(version);
  return config;
}

std::string DeviceName(int handle) {
  char name[64] = {};
  KOVRA_GetDeviceName(handle, name, sizeof name);
  return name;
}

// Receives what the library sends to a tracer, in a private runtime directory.
class TraceListener {
 public:
  TraceListener() {
    char pattern[] = "/tmp/kovra-e2e-XXXXXX";
    dir_ = mkdtemp(pattern);
    old_runtime_dir_ = getenv("XDG_RUNTIME_DIR") ? getenv("XDG_RUNTIME_DIR") : "";
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir_ + "/UloTracer";
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    timeval timeout{0, 20000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    // The socket queues only a few datagrams; a reader thread keeps the library from blocking.
    reader_ = std::thread([this] {
      unsigned char value[4];
      while (!stop_.load()) {
        if (recv(fd_, value, sizeof value, 0) != 4) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        for (unsigned char c : value) {
          if (c == 0) break;
          text_ += static_cast<char>(c);
        }
      }
    });
  }
  ~TraceListener() {
    stop_.store(true);
    reader_.join();
    close(fd_);
    unlink((dir_ + "/UloTracer").c_str());
    unlink((dir_ + "/UloTracerLock").c_str());
    rmdir(dir_.c_str());
    if (old_runtime_dir_.empty()) {
      unsetenv("XDG_RUNTIME_DIR");
    } else {
      setenv("XDG_RUNTIME_DIR", old_runtime_dir_.c_str(), 1);
    }
  }
  // Everything received so far, as text. The library sends synchronously, so a text traced
  // before this call is in the queue; a short pause lets the reader thread take it.
  std::string Drain() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 private:
  std::string dir_;
  std::string old_runtime_dir_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string text_;
  std::thread reader_;
};

struct FamilyCase {
  int family;
  const char *version;   // what the reader answers
  const char *reported;  // what KOVRA_GetVersion gives
  int device_type;
};

TEST(ReaderE2E, OpensAndIdentifiesAReaderOfEachFamily) {
  const FamilyCase cases[] = {
      {0, "1034", "1034", 0x103},
      {1, "1A1B", "1A1B", 0x1A1},
      {2, "2345", "2345", 0x234},  // the "FV" follow-up tells the version
      {3, "012A", "117A", 0x117},
  };
  for (const auto &c : cases) {
    ReaderOnPty line(Family(c.family, c.version));
    const int handle = KOVRA_OpenPort(line.path().c_str(), 19200, 500);
    ASSERT_GT(handle, 0) << "family " << c.family;
    unsigned char version[8] = {};
    ASSERT_EQ(KOVRA_GetVersion(handle, version, sizeof version), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(version), 4), c.reported);
    EXPECT_EQ(KOVRA_IsDeviceCapable(handle), c.device_type & 1);
    EXPECT_EQ(KOVRA_IsUsbDevice(handle), 0);
    EXPECT_FALSE(DeviceName(handle).empty());
    EXPECT_EQ(KOVRA_ClosePort(handle), 0);
    EXPECT_EQ(KOVRA_ClosePort(handle), -1);  // closing twice
  }
}

TEST(ReaderE2E, Family1ReaderIsFoundOnTheSecondPass) {
  TraceListener tracer;
  ReaderOnPty line(Family(1, "1171"));
  const int handle = KOVRA_OpenPort(line.path().c_str(), 19200, 500);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(DeviceName(handle), "KV-HF Module 117 DESFire");
  EXPECT_EQ(KOVRA_ClosePort(handle), 0);

  const std::string trace = tracer.Drain();
  const std::string opened = "KOVRA_OpenPort(" + line.path() + ",19200,500)";
  const std::string expected = opened +
                               "Init and Create... done\nAdd Object... done\nRead Version ... "
                               "repeat\nInit and Create... done\nAdd Object... done\nRead "
                               "Version ... done\n = " +
                               std::to_string(handle) + "\r\nKOVRA_ClosePort(" +
                               std::to_string(handle) + ")\r\n";
  EXPECT_EQ(trace, expected);
}

TEST(ReaderE2E, BusAddressSuffixReachesTheFrames) {
  SimReaderConfig config = Family(0);
  config.address = 3;
  ReaderOnPty line(config);
  EXPECT_EQ(KOVRA_OpenPort(line.path().c_str(), 19200, 200), KOVRA_OPEN_NO_READER);
  const int handle = KOVRA_OpenPort((line.path() + ":3").c_str(), 19200, 200);
  ASSERT_GT(handle, 0);
  const auto frames = line.reader().ReceivedFrames();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(ToHex(frames.back()), "02 03 F0 00 F3");
  KOVRA_ClosePort(handle);
}

TEST(ReaderE2E, BaudArgumentSetsTheLine) {
  const struct {
    int baud;
    unsigned line_baud;
    bool odd;
    int stop_bits;
  } cases[] = {{9603, 9600, false, 2}, {19202, 19200, true, 1}, {38400, 38400, false, 1}};
  for (const auto &c : cases) {
    ReaderOnPty line(Family(0));
    const int handle = KOVRA_OpenPort(line.path().c_str(), c.baud, 200);
    ASSERT_GT(handle, 0);
    const auto settings = line.server().Line();
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->baud, c.line_baud) << c.baud;
    EXPECT_EQ(settings->parity_odd, c.odd) << c.baud;
    EXPECT_EQ(settings->stop_bits, c.stop_bits) << c.baud;
    KOVRA_ClosePort(handle);
  }
}

TEST(ReaderE2E, RefusedOpens) {
  ReaderOnPty line(Family(0));
  EXPECT_EQ(KOVRA_OpenPort(line.path().c_str(), 19200, -1), KOVRA_OPEN_BAD_TIMEOUT);
  const std::string long_name(5000, 'x');
  // Network names open a connection and are refused inside network namespaces of their own
  // (tests/unit/transport/lan_link_test.cpp), never on the machine's network.
  for (const char *name :
       {"BTW 1", "BT 1", "HID 1", "AB12CD34", "COM0", "", "/dev/kovra-no-such-device", "/dev/null",
        long_name.c_str(), "COM99999999999999999"}) {
    EXPECT_EQ(KOVRA_OpenPort(name, 19200, 100), KOVRA_OPEN_FAILED) << name;
  }
  EXPECT_EQ(KOVRA_OpenPort(nullptr, 19200, 100), KOVRA_OPEN_FAILED);
  EXPECT_EQ(kovra::CKOVRA_SDKApp::Instance().PortCount(), 0u);  // nothing left behind

  const int handle = KOVRA_OpenPort(line.path().c_str(), 19200, 100);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(KOVRA_OpenPort(line.path().c_str(), 19200, 100), KOVRA_OPEN_FAILED);  // held
  KOVRA_ClosePort(handle);
}

TEST(ReaderE2E, SilentLineGivesNoReaderAfterFiveQueries) {
  ReaderOnPty line(Family(0));
  line.reader().SetSilent(true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(KOVRA_OpenPort(line.path().c_str(), 19200, 2000), KOVRA_OPEN_NO_READER);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // Five queries of 300 ms each (the identification never waits longer), and no sixth.
  EXPECT_GE(elapsed, std::chrono::milliseconds(1500));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1900));
  EXPECT_EQ(line.reader().CommandCount(0xF0), 2u);  // the two queries in its own family
  EXPECT_EQ(kovra::CKOVRA_SDKApp::Instance().PortCount(), 0u);
}

TEST(ReaderE2E, ActivatesACardAndExchangesBlocksInParts) {
  ReaderOnPty line(Family(0));
  line.reader().SetExchangePartSize(30);
  const int handle = KOVRA_OpenPort(line.path().c_str(), 19200, 300);
  ASSERT_GT(handle, 0);

  EXPECT_EQ(KOVRA_SetMode(handle, 4), -1);
  EXPECT_EQ(KOVRA_GetLastError(handle), KOVRA_ERR_MODE_INVALID);
  EXPECT_EQ(KOVRA_SetMode(handle, 0x83), 0);

  unsigned short atqa = 0;
  EXPECT_EQ(KOVRA_SetRfField(handle, 1), 0);
  EXPECT_EQ(KOVRA_Request(handle, &atqa), -1);  // nothing in the field yet
  EXPECT_EQ(KOVRA_GetLastError(handle), 21);

  line.reader().PlaceCard(kovra_sim::CardKind::kIso, Hex("04 11 22 33 44 55 66"));
  EXPECT_EQ(KOVRA_Request(handle, &atqa), 0);
  unsigned char uid[10] = {};
  unsigned char sak = 0xEE;
  EXPECT_EQ(KOVRA_Select(handle, uid, 4, &sak), -1);  // a 7-byte UID in a 4-byte buffer
  EXPECT_EQ(sak, 0);
  EXPECT_EQ(KOVRA_GetLastError(handle), 0);
  ASSERT_EQ(KOVRA_Select(handle, uid, sizeof uid, &sak), 7);
  EXPECT_EQ(ToHex(uid, 7), "04 11 22 33 44 55 66");
  EXPECT_EQ(sak & 0x20, 0x20);
  EXPECT_EQ(KOVRA_SetIsoParameter(handle, 1), 0);
  unsigned char ats[32];
  EXPECT_GT(KOVRA_SendRats(handle, ats, sizeof ats), 0);
  EXPECT_EQ(KOVRA_SendPps(handle, 0x0A), 0);

  // The stand-in card echoes the block; 70 bytes come back in three parts of at most 30.
  std::vector<uint8_t> block(70);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 3);
  auto port = kovra::CKOVRA_SDKApp::Instance().FindPort(handle);
  ASSERT_TRUE(port);
  kovra::CMyByteArray answer;
  ASSERT_TRUE(kovra::Exchange(*port, block.data(), block.size(), answer));
  EXPECT_EQ(answer.Bytes(), block);
  EXPECT_EQ(line.reader().CommandCount(0x46), 2u);
  KOVRA_ClosePort(handle);
}

TEST(ReaderE2E, BrokenRepliesAndAnUnpluggedDevice) {
  ReaderOnPty line(Family(1));
  const int handle = KOVRA_OpenPort(line.path().c_str(), 19200, 100);
  ASSERT_GT(handle, 0);
  unsigned char buffer[16];

  line.reader().CorruptNextChecksum();
  EXPECT_EQ(KOVRA_GetSerialNumber(handle, buffer, sizeof buffer), -1);
  EXPECT_EQ(KOVRA_GetLastError(handle), KOVRA_ERR_CHECKSUM);
  EXPECT_EQ(KOVRA_GetSerialNumber(handle, buffer, sizeof buffer), 4);  // the port recovers

  line.reader().PushRawReply(Hex("01 00 09 AA"));  // a half frame
  EXPECT_EQ(KOVRA_GetSerialNumber(handle, buffer, sizeof buffer), -1);
  EXPECT_EQ(KOVRA_GetLastError(handle), KOVRA_ERR_TIMEOUT);

  line.server().DropLink();
  EXPECT_EQ(KOVRA_GetSerialNumber(handle, buffer, sizeof buffer), -1);
  EXPECT_EQ(KOVRA_GetLastError(handle), KOVRA_ERR_TIMEOUT);
  EXPECT_EQ(KOVRA_IsDeviceCapable(handle), 1);  // still known by its handle
  EXPECT_EQ(KOVRA_ClosePort(handle), 0);
}

}  // namespace
