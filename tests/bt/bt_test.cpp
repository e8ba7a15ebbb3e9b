// Bluetooth readers: the module's packets, and the adapter transport through the library's
// ordinary dlopen path of the bridge library (here a stand-in, fake_siusbxp.cpp) or over a
// serial line, against the simulator's Bluetooth module in front of a simulated reader.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "kovra.h"
#include "sim/bt_module.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "support/cli_run.h"
#include "support/fake_devices.h"
#include "support/sim_process.h"
#include "transport/bluetooth/bt_packet.h"

namespace {

using kovra::BtBytes;
using kovra::BtPacketReader;
using kovra_test::FakeDevices;

// Before the library's first use of the bridge; a value given from outside (the variants) wins.
const bool kFakeBridge = setenv("KOVRA_SIUSBXP_LIBRARY", FAKE_SIUSBXP_PATH, 0) == 0;
constexpr const char *kConfig = "FAKE_SIUSBXP_CONFIG";

// The simulator's Bluetooth module in front of a simulated reader, on a pseudo-terminal.
class ModuleOnPty {
 public:
  explicit ModuleOnPty(kovra_sim::BtModuleConfig config = {})
      : module_(reader_, config), server_(module_) {
    std::string error;
    if (!server_.Start(&error)) ADD_FAILURE() << "pty server: " << error;
  }
  std::string path() const { return server_.Path(); }
  kovra_sim::BtModule &module() { return module_; }

 private:
  kovra_sim::SimReader reader_;
  kovra_sim::BtModule module_;
  kovra_sim::PtyServer server_;
};

// A module that never answers: a pseudo-terminal whose other side is held open and never read.
class SilentPty {
 public:
  SilentPty() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      ADD_FAILURE() << "no pseudo-terminal";
      return;
    }
    path_ = ptsname(master_);
  }
  ~SilentPty() {
    if (master_ >= 0) close(master_);
  }
  SilentPty(const SilentPty &) = delete;
  SilentPty &operator=(const SilentPty &) = delete;
  const std::string &path() const { return path_; }

 private:
  int master_;
  std::string path_;
};

// Records when the library called the wait handler, to find the longest stretch without a call.
class HandlerGaps {
 public:
  using Clock = std::chrono::steady_clock;
  HandlerGaps() { KOVRA_SetWaitHandler(&HandlerGaps::OnWait, this); }
  ~HandlerGaps() { KOVRA_SetWaitHandler(nullptr, nullptr); }
  HandlerGaps(const HandlerGaps &) = delete;
  HandlerGaps &operator=(const HandlerGaps &) = delete;

  void Start() {
    calls_.clear();
    calls_.push_back(Clock::now());
  }
  // The longest time between the start, the calls and now.
  std::chrono::milliseconds LongestGap() const {
    std::vector<Clock::time_point> points = calls_;
    points.push_back(Clock::now());
    Clock::duration longest{};
    for (size_t i = 1; i < points.size(); ++i)
      longest = std::max(longest, points[i] - points[i - 1]);
    return std::chrono::duration_cast<std::chrono::milliseconds>(longest);
  }
  size_t Calls() const { return calls_.size() - 1; }

 private:
  static void OnWait(int, int, int, void *context) {
    static_cast<HandlerGaps *>(context)->calls_.push_back(Clock::now());
  }
  std::vector<Clock::time_point> calls_;
};

std::vector<std::string> BtPorts() {
  return kovra_test::ListedPorts(KOVRA_ListBtPorts);
}

// A module's packet with its check byte and end byte.
BtBytes ModulePacket(uint8_t type, uint8_t opcode, const BtBytes &payload) {
  BtBytes packet = kovra::BuildBtRequest(opcode, payload);
  packet[1] = type;
  packet[5] = static_cast<uint8_t>(packet[1] + packet[2] + packet[3] + packet[4]);
  return packet;
}

std::vector<uint16_t> Events(const BtBytes &stream, size_t piece) {
  BtPacketReader reader;
  std::vector<uint16_t> events;
  for (size_t at = 0; at < stream.size(); at += piece) {
    reader.Append(stream.data() + at, std::min(piece, stream.size() - at));
    while (auto packet = reader.Next()) events.push_back(packet->Event());
  }
  return events;
}

TEST(BtPacket, WholeCheckedPacketsComeOutWhateverTheirPiecesAndTheJunkAround) {
  EXPECT_EQ(kovra::BuildBtRequest(0x0F, {0x02, 0x05, 0x00, 1, 2, 3, 4, 5}),
            (BtBytes{0x02, 0x52, 0x0F, 0x08, 0x00, 0x69, 0x02, 0x05, 0x00, 1, 2, 3, 4, 5, 0x03}));
  const BtBytes ready = ModulePacket('i', 0x25, {});  // a bare 7-byte packet
  const BtBytes link = ModulePacket('i', 0x0B, BtBytes(9, 0));
  BtBytes bad_check = link;
  bad_check[5] ^= 0xFF;
  BtBytes bad_end = link;
  bad_end.back() = 0x04;
  const BtBytes huge = {0x02, 'i',  0x10,
                        0xFF, 0x7F, static_cast<uint8_t>('i' + 0x10 + 0xFF + 0x7F)};
  struct Case {
    const char *what;
    BtBytes stream;
    std::vector<uint16_t> events;
  };
  auto cat = [](std::initializer_list<BtBytes> parts) {
    BtBytes all;
    for (const BtBytes &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  const Case cases[] = {
      {"bare packet", ready, {0x2569}},
      {"two in a row", cat({ready, link}), {0x2569, 0x0B69}},
      {"stray start byte", cat({{0x02}, ready}), {0x2569}},
      {"junk before", cat({{0x7E, 0x02, 0x55}, link}), {0x0B69}},
      {"bad check byte", cat({bad_check, ready}), {0x2569}},
      {"bad end byte", cat({bad_end, ready}), {0x2569}},
      {"length beyond the buffer", cat({huge, ready}), {0x2569}},
      {"a request echoed", cat({kovra::BuildBtRequest(0x26), ready}), {0x2569}},
  };
  for (const Case &c : cases) {
    for (size_t piece : {size_t{1}, size_t{3}, c.stream.size()}) {
      EXPECT_EQ(Events(c.stream, piece), c.events) << c.what << ", pieces of " << piece;
    }
  }
}

TEST(BtPacket, APartialPacketThatStopsGrowingIsGivenUpAndWhatItSwallowedComesOut) {
  // A valid check byte on a header that announces 256 bytes which never come.
  const BtBytes lying = {0x02, 'C', 0xFF, 0x00, 0x01, 0x43};
  const BtBytes ready = ModulePacket('i', 0x25, {});
  const auto start = BtPacketReader::Clock::now();
  BtPacketReader reader;
  reader.Append(lying.data(), lying.size(), start);
  reader.Append(ready.data(), ready.size(), start + std::chrono::milliseconds(5));
  EXPECT_FALSE(reader.Next().has_value());
  // Still growing a moment ago: kept.
  EXPECT_FALSE(reader.DropStalePartial(start + std::chrono::milliseconds(20)));
  EXPECT_FALSE(reader.Next().has_value());
  // Stopped growing: given up, and the packet inside it comes out.
  EXPECT_TRUE(
      reader.DropStalePartial(start + std::chrono::milliseconds(5) + BtPacketReader::kPartialGap));
  const auto packet = reader.Next();
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(packet->Event(), 0x2569);
  EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(BtPacket, TheBufferTakesNoMoreThanItsRoom) {
  BtPacketReader reader;
  const BtBytes flood(3000, 0x02);
  EXPECT_EQ(reader.Append(flood.data(), flood.size()), BtPacketReader::kBufferSize);
  EXPECT_FALSE(reader.Next().has_value());
  EXPECT_GT(reader.Room(), 0u);  // the hopeless start bytes were dropped
}

TEST(BtDiscovery, ListsOurAdaptersOnlyAndNothingFromABrokenLibrary) {
  ASSERT_TRUE(kFakeBridge);
  {
    FakeDevices devices(
        "device serial=ULO-PN7341#0001\ndevice serial=OTHER-1\n"
        "device serial=ULO-PN7341#02 count=2\ndevice serial=ulo-pn7341#0009\n",
        kConfig);
    EXPECT_EQ(BtPorts(), (std::vector<std::string>{"ULO-PN7341#0001 BT", "ULO-PN7341#02-1 BT",
                                                   "ULO-PN7341#02-2 BT"}));
  }
  // A count beyond all reason: the first 64 indexes are asked, and only the real device answers.
  FakeDevices absurd("report_count 100000\ndevice serial=ULO-PN7341#0001\n", kConfig);
  EXPECT_EQ(BtPorts(), (std::vector<std::string>{"ULO-PN7341#0001 BT"}));
}

TEST(BtAdapter, FindsConnectsAndTalksToTheReaderOverTheBridgeAndOverASerialLine) {
  ModuleOnPty bridge_side;
  FakeDevices devices("device serial=ULO-PN7341#0001 sim=" + bridge_side.path() + "\n", kConfig);
  // The name's letter case does not matter.
  const int over_bridge = KOVRA_OpenPort("ulo-pn7341#0001 BT", 19200, 3000);
  ASSERT_GT(over_bridge, 0);
  EXPECT_EQ(kovra_test::ReaderVersion(over_bridge), "1234");
  // The first frame waited for the link: the module dropped nothing.
  EXPECT_EQ(bridge_side.module().DroppedBeforeLink(), 0u);
  EXPECT_EQ(KOVRA_ClosePort(over_bridge), 0);

  ModuleOnPty line_side;
  const int over_line = KOVRA_OpenPort((line_side.path() + " BT").c_str(), 19200, 3000);
  ASSERT_GT(over_line, 0);
  EXPECT_EQ(kovra_test::ReaderVersion(over_line), "1234");
  // Stray bytes from the module cost nothing.
  line_side.module().InjectStray({0x02, 0x7E});
  EXPECT_EQ(kovra_test::ReaderVersion(over_line), "1234");
  // A module that never confirms the disconnect does not hold up the close.
  line_side.module().SetSilentOnDisconnect(true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(KOVRA_ClosePort(over_line), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(BtAdapter, ABridgeUnpluggedMidCommandEndsTheCommandPromptly) {
  ModuleOnPty module;
  // Seven writes reach the module (the ready request, the inquiry and its early end, the name,
  // the connect, the version query, the one below); the bridge goes away after them.
  FakeDevices devices("device serial=ULO-PN7341#0002 unplug_after=7 sim=" + module.path() + "\n",
                      kConfig);
  const int handle = KOVRA_OpenPort("ULO-PN7341#0002 BT", 19200, 5000);
  ASSERT_GT(handle, 0);
  ASSERT_EQ(kovra_test::ReaderVersion(handle), "1234");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(KOVRA_SetRfField(handle, 1), -1);
  EXPECT_EQ(KOVRA_SetRfField(handle, 1), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(BtAdapter, AnAdapterThatIsMissingOrRefusesToOpenFailsTheOpen) {
  FakeDevices devices("device serial=ULO-PN7341#0003 open_fails=1\n", kConfig);
  for (const char *name : {"ULO-PN7341#0003 BT", "ULO-PN7341#0004 BT", "BTW"}) {
    EXPECT_EQ(KOVRA_OpenPort(name, 19200, 1000), KOVRA_OPEN_FAILED) << name;
  }
}

TEST(BtAdapter, AHeaderThatAnnouncesMoreThanComesCostsNoCommand) {
  ModuleOnPty module;
  const int handle = KOVRA_OpenPort((module.path() + " BT").c_str(), 19200, 1000);
  ASSERT_GT(handle, 0);
  ASSERT_EQ(kovra_test::ReaderVersion(handle), "1234");
  // 256 bytes announced with a valid check byte, before the reply's packet.
  module.module().InjectStray({0x02, 0x43, 0xFF, 0x00, 0x01, 0x43});
  for (int command = 0; command < 3; ++command) {
    EXPECT_EQ(kovra_test::ReaderVersion(handle), "1234") << "command " << command;
  }
  KOVRA_ClosePort(handle);
}

TEST(BtAdapter, ADeviceOfAnotherKindOrWithoutASerialPortIsPassedOver) {
  struct Case {
    const char *what;
    uint32_t foreign_class;
  };
  const Case cases[] = {
      {"a keyboard: a peripheral of another minor class", 0x002540},
      {"a peripheral like the reader that refuses the serial port service", 0x000500},
      {"the same with a service bit", 0x200500},
  };
  for (const Case &c : cases) {
    kovra_sim::BtModuleConfig config;
    config.foreign_class = c.foreign_class;
    ModuleOnPty module(config);
    const int handle = KOVRA_OpenPort((module.path() + " BT").c_str(), 19200, 2000);
    ASSERT_GT(handle, 0) << c.what;
    EXPECT_EQ(kovra_test::ReaderVersion(handle), "1234") << c.what;
    EXPECT_TRUE(module.module().LinkUp()) << c.what;
    KOVRA_ClosePort(handle);
  }
}

TEST(BtAdapter, ASilentModuleNeitherHoldsTheOpenNorStarvesTheWaitHandler) {
  SilentPty bridge_side;
  FakeDevices devices("device serial=ULO-PN7341#0006 sim=" + bridge_side.path() + "\n", kConfig);
  SilentPty line_side;
  const std::string names[] = {"ULO-PN7341#0006 BT", line_side.path() + " BT"};
  HandlerGaps gaps;
  for (const std::string &name : names) {
    // The open searches nothing and asks nothing: the port is there at once, as the adapter.
    gaps.Start();
    const int handle = KOVRA_OpenPort(name.c_str(), 19200, 500);
    ASSERT_GT(handle, 0) << name;
    EXPECT_LT(gaps.LongestGap().count(), 100) << name;
    char device[32] = {};
    KOVRA_GetDeviceName(handle, device, sizeof device);
    EXPECT_STREQ(device, "KV-BT Adapter") << name;
    // A command waits no longer than the port's timeout, whatever the search needs, and the
    // handler is called all along.
    gaps.Start();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kovra_test::ReaderVersion(handle), "") << name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << name;
    EXPECT_GT(gaps.Calls(), 2u) << name;
    EXPECT_LT(gaps.LongestGap().count(), 100) << name;
    EXPECT_EQ(KOVRA_ClosePort(handle), 0);
  }
}

TEST(BtCli, WritesACardThroughABluetoothReader) {
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, {"--bt"});
  ASSERT_FALSE(sim.pty().empty());
  ASSERT_EQ(sim.Control("place desfire").rfind("ok", 0), 0u);
  FakeDevices devices("device serial=ULO-PN7341#0042 sim=" + sim.pty() + "\n", kConfig);
  const kovra_test::CliRun run = kovra_test::WriteOneCardWithCli("ULO-PN7341#0042 BT", "900");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("\"value\":\"900\""), std::string::npos) << run.out;
  EXPECT_NE(sim.Control("bt").find("\"dropped_before_link\":0"), std::string::npos);
}

// Run by CTest with KOVRA_SIUSBXP_LIBRARY naming a broken or missing library and
// FAKE_SIUSBXP_EXPECT_OPEN saying whether the bridge can still be used.
TEST(BtVariant, OpensAsTheLibraryAllowsAndSerialLinesStillWork) {
  const char *expect = std::getenv("FAKE_SIUSBXP_EXPECT_OPEN");
  if (!expect) GTEST_SKIP() << "run by CTest with a library variant";
  ModuleOnPty module;
  FakeDevices devices("device serial=ULO-PN7341#0005 sim=" + module.path() + "\n", kConfig);
  const int handle = KOVRA_OpenPort("ULO-PN7341#0005 BT", 19200, 2000);
  if (std::string(expect) == "1") {
    EXPECT_GT(handle, 0);
    EXPECT_EQ(kovra_test::ReaderVersion(handle), "1234");
    KOVRA_ClosePort(handle);
  } else {
    EXPECT_EQ(handle, KOVRA_OPEN_FAILED);
    if (access(std::getenv("KOVRA_SIUSBXP_LIBRARY"), F_OK) != 0) {
      EXPECT_TRUE(BtPorts().empty());
    }
  }
  ModuleOnPty line;
  const int serial = KOVRA_OpenPort((line.path() + " BT").c_str(), 19200, 2000);
  EXPECT_GT(serial, 0);
  if (serial > 0) KOVRA_ClosePort(serial);
}

}  // namespace
