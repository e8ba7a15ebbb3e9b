// The HID transport through the library's ordinary dlopen path, against a fake hidapi library
// (fake_hidapi.cpp) whose devices carry their reports to a simulated reader on a pseudo-terminal.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "kovra.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "support/cli_run.h"
#include "support/fake_devices.h"
#include "support/sim_process.h"
#include "transport/hid/hid_devices.h"
#include "transport/hid/hid_port.h"
#include "transport/hid/hidapi_binding.h"

namespace {

// Before the library's first use of hidapi; a value given from outside wins.
const bool kFakeHidapi = setenv("KOVRA_HIDAPI_LIBRARY", FAKE_HIDAPI_PATH, 0) == 0;

using kovra_test::FakeDevices;
using kovra_test::SimOnPty;

std::vector<std::string> UsbPorts() {
  return kovra_test::ListedPorts(KOVRA_ListUsbPorts);
}

TEST(HidDiscovery, ListsEachOfOurReadersOnceByArticleNumber) {
  FakeDevices devices(
      "device vid=2e3c pid=0101 serial=3105-0000001\n"
      "device vid=2e3c pid=0101 serial=3105-0000001\n"  // its second interface
      "device vid=2e3b pid=0001 serial=4501-0000002\n"
      "device vid=2e3d pid=0200 serial=-\n"
      "device vid=2e3c pid=0105 serial=9999-0000003\n"  // not one of our article numbers
      "device vid=046d pid=c077 serial=3105-0000004\n"  // not one of our devices
      "device vid=2e3c pid=0102 serial=5002-0000005\n");
  EXPECT_EQ(UsbPorts(), (std::vector<std::string>{"3105-0000001 HID", "4501-0000002 HID",
                                                  "3100-0000000 HID", "5002-0000005 HID"}));
}

TEST(HidDiscovery, OddDevicesAreRenamedOrSkippedNeverFatal) {
  struct Case {
    std::string device;
    std::vector<std::string> listed;
  };
  const Case cases[] = {
      // Names that would route elsewhere (network, bus address, device path) are defused.
      {"serial=3105.1.2.3", {"3105_1_2_3 HID"}},
      {"serial=3105:7", {"3105_7 HID"}},
      {"serial=3105/dev/x", {"3105_dev_x HID"}},
      {"serial=3105%0A%{110000}%{E9}", {"3105___ HID"}},
      {"serial=%20%20", {"3100-0000000 HID"}},
      {"serial=3105-" + std::string(100, '7'), {"3105-" + std::string(44, '7') + " HID"}},
      // Report lengths the reader framing cannot use.
      {"serial=3105-1 input=0", {}},
      {"serial=3105-1 output=3", {}},
      {"serial=3105-1 input=66", {}},
      {"serial=3105-1 output=100", {}},
      {"serial=3105-1 input=65 output=65", {"3105-1 HID"}},
      {"serial=3105-1 descriptor=none", {"3105-1 HID"}},  // 9 and 9 then
  };
  for (const Case &c : cases) {
    FakeDevices devices("device vid=2e3c pid=0101 " + c.device + "\n");
    EXPECT_EQ(UsbPorts(), c.listed) << c.device;
  }
  {
    FakeDevices devices("enumerate null\n");
    EXPECT_TRUE(UsbPorts().empty());
  }
}

TEST(HidDiscovery, AFloodOfDevicesIsCutAtTheLimitQuickly) {
  FakeDevices devices("device vid=2e3c pid=0101 serial=3105 count=10000\n");
  const auto start = std::chrono::steady_clock::now();
  const std::vector<std::string> names = UsbPorts();
  // A bound on the walk, not a speed test: sanitizer builds are slow.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(names.size(), kovra::kMaxHidReaders);
  EXPECT_EQ(names.front(), "3105-1 HID");
}

TEST(HidPort, OpensIdentifiesAndClosesAReaderInEveryReportLayout) {
  for (const char *layout : {"descriptor=none", "input=65 output=65",
                             "input=33 output=17 numbered=1", "input=4 output=4"}) {
    SimOnPty sim;
    FakeDevices devices("device vid=2e3c pid=0103 serial=3105-abc42 log={log} sim=" + sim.path() +
                        " " + layout + "\n");
    // The serial number's letter case does not matter; " HID" is what routes the name here.
    const int handle = KOVRA_OpenPort("3105-ABC42 HID:1", 19200, 500);
    ASSERT_EQ(handle, 10001) << layout;
    EXPECT_EQ(kovra_test::ReaderVersion(handle), "1234") << layout;
    EXPECT_EQ(KOVRA_IsUsbDevice(handle), 1);
    EXPECT_EQ(KOVRA_ClosePort(handle), 0);

    const std::vector<std::string> reports = devices.Reports();
    ASSERT_GE(reports.size(), 3u) << layout;
    const std::string id = std::string(layout).find("numbered") != std::string::npos ? "01" : "00";
    EXPECT_EQ(reports.front().substr(0, 8), id + "821000") << layout;
    EXPECT_EQ(reports.back().substr(0, 8), id + "821001") << layout;
  }
}

TEST(HidPort, HandlesComeFromTheHidPool) {
  SimOnPty first;
  SimOnPty second;
  FakeDevices devices("device vid=2e3c pid=0101 serial=3105-1 sim=" + first.path() +
                      "\ndevice vid=2e3c pid=0101 serial=3105-2 sim=" + second.path() + "\n");
  const int a = KOVRA_OpenPort("3105-1 HID", 19200, 500);
  const int b = KOVRA_OpenPort("3105-2 HID", 19200, 500);
  EXPECT_EQ(a, 10001);
  EXPECT_EQ(b, 10002);
  EXPECT_EQ(KOVRA_ClosePort(a), 0);
  const int c = KOVRA_OpenPort("3105-1 HID", 19200, 500);
  EXPECT_EQ(c, 10001);
  KOVRA_ClosePort(b);
  KOVRA_ClosePort(c);
}

TEST(HidPort, ReadersThatDoNotOpenGiveTheOpenResults) {
  SimOnPty sim;
  struct Case {
    std::string device;
    const char *name;
    int result;
  };
  const Case cases[] = {
      {"serial=3105-1 refuse_control=1", "3105-1 HID", KOVRA_OPEN_HID_NOT_STARTED},
      {"serial=3105-1 open_fails=1", "3105-1 HID", KOVRA_OPEN_FAILED},
      {"serial=3105-1", "3105-2 HID", KOVRA_OPEN_FAILED},
      {"serial=3105-1 input=66", "3105-1 HID", KOVRA_OPEN_FAILED},
  };
  for (const Case &c : cases) {
    FakeDevices devices("device vid=2e3c pid=0101 sim=" + sim.path() + " " + c.device + "\n");
    EXPECT_EQ(KOVRA_OpenPort(c.name, 19200, 500), c.result) << c.device;
  }
}

TEST(HidPort, AReaderUnpluggedMidCommandEndsTheCommandAtOnce) {
  SimOnPty sim;
  // The open's version query is the first frame; the reader goes away after the second.
  FakeDevices devices("device vid=2e3c pid=0101 serial=3105-9 unplug_after=2 sim=" + sim.path() +
                      "\n");
  const int handle = KOVRA_OpenPort("3105-9 HID", 19200, 5000);
  ASSERT_GT(handle, 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(KOVRA_SetRfField(handle, 1), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  // The port is gone with its reader.
  EXPECT_EQ(KOVRA_IsLinkUp(handle), -1);
  EXPECT_EQ(KOVRA_GetLastError(handle), KOVRA_ERR_PORT_INVALID);
  EXPECT_EQ(KOVRA_ClosePort(handle), -1);
}

TEST(HidApiBinding, AMissingLibraryOrFunctionLeavesHidUnavailable) {
  struct Case {
    const char *file;
    const char *problem;
  };
  for (const Case &c : {Case{"/nonexistent/libhidapi-hidraw.so.0", "cannot load"},
                        Case{FAKE_HIDAPI_WITHOUT_READ_PATH, "hid_read_timeout"}}) {
    kovra::HidApi api;
    EXPECT_FALSE(api.Load(c.file)) << c.file;
    EXPECT_NE(api.Problem().find(c.problem), std::string::npos) << api.Problem();
    EXPECT_TRUE(kovra::EnumerateHidReaders(api).empty());
    FakeDevices devices("device vid=2e3c pid=0101 serial=3105-1\n");
    kovra::CHidPort port(api);
    EXPECT_FALSE(port.Open("3105-1 HID"));
  }
  kovra::HidApi api;
  EXPECT_TRUE(api.Load(FAKE_HIDAPI_PATH)) << api.Problem();
}

// quillmate-cli personalises a card on a HID reader as it does on a serial one: the fake library
// and its device list reach the program through its environment.
TEST(HidCli, WritesACardThroughAHidReader) {
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, {});
  ASSERT_FALSE(sim.pty().empty());
  ASSERT_EQ(sim.Control("place desfire").rfind("ok", 0), 0u);
  FakeDevices devices(
      "device vid=2e3d pid=0200 serial=5001-77 input=65 output=65 sim=" + sim.pty() + "\n");
  const kovra_test::CliRun run = kovra_test::WriteOneCardWithCli("5001-77 HID", "500");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("\"ok\":true"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"value\":\"500\""), std::string::npos) << run.out;
}

}  // namespace
