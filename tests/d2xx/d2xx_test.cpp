// FTDI readers through the vendor's D2XX library, loaded by the library's ordinary dlopen path:
// here a stand-in (fake_d2xx.cpp) whose devices carry their bytes to a simulated reader on a
// pseudo-terminal.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "kovra.h"
#include "support/cli_run.h"
#include "support/fake_devices.h"
#include "support/sim_process.h"
#include "transport/usb_drivers.h"
#include "transport/usb_ids.h"

namespace {

using kovra_test::FakeDevices;
using kovra_test::SimOnPty;

// Before the library's first use of D2XX; a value given from outside (the variants) wins.
const bool kFakeD2xx = setenv("KOVRA_D2XX_LIBRARY", FAKE_D2XX_PATH, 0) == 0;
constexpr const char *kConfig = "FAKE_D2XX_CONFIG";

std::vector<std::string> UsbPorts() {
  return kovra_test::ListedPorts(KOVRA_ListUsbPorts);
}

TEST(D2xxDiscovery, ListsOurReadersThatAreNotOpenInThisProcess) {
  ASSERT_TRUE(kFakeD2xx);
  SimOnPty sim;
  FakeDevices devices("device serial=3105-0000002 sim=" + sim.path() +
                          "\n"
                          "device serial=9999-1\n"
                          "device serial=3200-5 count=3\n"
                          "device serial=\n",
                      kConfig);
  EXPECT_EQ(UsbPorts(),
            (std::vector<std::string>{"3105-0000002", "3200-5-1", "3200-5-2", "3200-5-3"}));
  const int handle = KOVRA_OpenPort("3105-0000002", 19200, 1000);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(UsbPorts(), (std::vector<std::string>{"3200-5-1", "3200-5-2", "3200-5-3"}));
  EXPECT_EQ(KOVRA_ClosePort(handle), 0);
}

TEST(D2xxDiscovery, ALibraryThatFailsOrClaimsTooManyDevicesListsNone) {
  for (const char *broken : {"create_status 4\n", "report_count 1000000\n"}) {
    FakeDevices devices(std::string(broken) + "device serial=3105-1\n", kConfig);
    EXPECT_TRUE(UsbPorts().empty()) << broken;
  }
}

// Serial numbers are whatever bytes the chip's EEPROM holds. Only those that are plain text and
// that KOVRA_OpenPort takes back to D2XX are listed: not one that would route to Bluetooth, HID
// or a COM port.
TEST(D2xxDiscovery, ListsOnlySerialNumbersThatArePlainAndRouteBackToD2xx) {
  FakeDevices devices(
      "device serial=3300\xff\xfe\x01\n"
      "device serial=3105-\xc3\xa4\n"
      "device serial=3100BT01\n"
      "device serial=3100BTW1\n"
      "device serial=3100HID1\n"
      "device serial=3100.1.2.3\n"
      "device serial=3100:2\n"
      "device serial=3105-0000007\n",
      kConfig);
  EXPECT_EQ(UsbPorts(), (std::vector<std::string>{"3105-0000007"}));
}

// A library built as for Linux answers a failed open with INVALID_HANDLE_VALUE 0xFFFFFFFF; others
// with null or the all-ones pointer. None of them is a handle: the open fails as a missing device
// and the library is never called with it.
TEST(D2xxPort, AFailedOpenIsNoHandleWhateverTheLibraryAnswersForIt) {
  const int before_first_open = KOVRA_OpenPort("3105-nothing", 19200, 100);
  ASSERT_EQ(before_first_open, KOVRA_OPEN_FAILED);  // the library is loaded now
  void *fake = dlopen(FAKE_D2XX_PATH, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(fake, nullptr);
  const auto misuses = reinterpret_cast<int (*)()>(dlsym(fake, "fake_d2xx_misuses"));
  ASSERT_NE(misuses, nullptr);
  for (const char *failed : {"4294967295", "0", "-1"}) {
    FakeDevices devices(
        std::string("failed_handle ") + failed + "\ndevice serial=3105-7 open_fails=1\n", kConfig);
    const int misused_before = misuses();
    EXPECT_EQ(KOVRA_OpenPort("3105-7", 19200, 1000), KOVRA_OPEN_FAILED) << failed;
    EXPECT_EQ(KOVRA_GetLinkFailure(), KOVRA_LINK_NO_DEVICE) << failed;
    EXPECT_EQ(misuses(), misused_before) << failed;
  }
  dlclose(fake);
}

// An FTDI reader unbound from ftdi_sio for D2XX (as the guide advises) has no kernel driver and
// needs none: the port dialog must not offer to install one.
TEST(D2xxDrivers, AnFtdiReaderServedByD2xxIsNotMissingADriver) {
  FakeDevices devices("device serial=3105-1\n", kConfig);
  const kovra::UsbDeviceDriver unbound{kovra::kFtdiVendorId, kovra::kFtdiReaderProductId, false};
  EXPECT_TRUE(kovra::D2xxServesFtdiReaders());
  EXPECT_EQ(kovra::MissingDriverFlags({unbound}, kovra::D2xxServesFtdiReaders()), 0);
}

TEST(D2xxPort, OpensIdentifiesAndClosesAReader) {
  SimOnPty sim;
  FakeDevices devices("device serial=3105-0000002 sim=" + sim.path() + "\n", kConfig);
  const int handle = KOVRA_OpenPort("3105-0000002", 19200, 1000);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(kovra_test::ReaderVersion(handle), "1234");
  EXPECT_EQ(KOVRA_IsUsbDevice(handle), 1);
  EXPECT_EQ(KOVRA_ClosePort(handle), 0);
  // A second open while one is open: the device is not shared.
  const int first = KOVRA_OpenPort("3105-0000002", 19200, 1000);
  ASSERT_GT(first, 0);
  EXPECT_EQ(KOVRA_OpenPort("3105-0000002", 19200, 1000), KOVRA_OPEN_FAILED);
  EXPECT_EQ(KOVRA_ClosePort(first), 0);
}

TEST(D2xxPort, ReadersThatAreMissingOrRefuseToOpenFailTheOpen) {
  FakeDevices devices("device serial=3105-7 open_fails=1\n", kConfig);
  for (const char *name : {"3105-7", "3105-8"}) {
    EXPECT_EQ(KOVRA_OpenPort(name, 19200, 1000), KOVRA_OPEN_FAILED) << name;
    EXPECT_EQ(KOVRA_GetLinkFailure(), KOVRA_LINK_NO_DEVICE) << name;
  }
}

TEST(D2xxPort, AReaderUnpluggedMidCommandEndsTheCommandPromptly) {
  SimOnPty sim;
  // The open writes its version query first; the reader goes away after the next write.
  FakeDevices devices("device serial=3105-9 unplug_after=2 sim=" + sim.path() + "\n", kConfig);
  const int handle = KOVRA_OpenPort("3105-9", 19200, 5000);
  ASSERT_GT(handle, 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(KOVRA_SetRfField(handle, 1), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(KOVRA_IsLinkUp(handle), -1);
}

TEST(D2xxCli, WritesACardThroughAnFtdiReader) {
  kovra_test::SimProcess sim(KOVRA_SIM_PATH, {});
  ASSERT_FALSE(sim.pty().empty());
  ASSERT_EQ(sim.Control("place desfire").rfind("ok", 0), 0u);
  FakeDevices devices("device serial=3105-0000042 sim=" + sim.pty() + "\n", kConfig);
  const kovra_test::CliRun run = kovra_test::WriteOneCardWithCli("3105-0000042", "700");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("\"value\":\"700\""), std::string::npos) << run.out;
}

// Run by CTest with KOVRA_D2XX_LIBRARY naming a broken or missing library and
// FAKE_D2XX_EXPECT_OPEN saying whether FTDI readers can still be opened.
TEST(D2xxVariant, OpensAsTheLibraryAllowsAndSerialPortsStillWork) {
  const char *expect = std::getenv("FAKE_D2XX_EXPECT_OPEN");
  if (!expect) GTEST_SKIP() << "run by CTest with a library variant";
  SimOnPty sim;
  FakeDevices devices("device serial=3105-3 sim=" + sim.path() + "\n", kConfig);
  const int handle = KOVRA_OpenPort("3105-3", 19200, 1000);
  if (std::string(expect) == "1") {
    EXPECT_GT(handle, 0);
    EXPECT_EQ(kovra_test::ReaderVersion(handle), "1234");
    KOVRA_ClosePort(handle);
  } else {
    EXPECT_EQ(handle, KOVRA_OPEN_FAILED);
    // Without the library its devices are missing from the list as well, and an FTDI reader
    // without a kernel driver lacks its driver.
    if (access(std::getenv("KOVRA_D2XX_LIBRARY"), F_OK) != 0) {
      EXPECT_TRUE(UsbPorts().empty());
      const kovra::UsbDeviceDriver unbound{kovra::kFtdiVendorId, kovra::kFtdiReaderProductId,
                                           false};
      EXPECT_EQ(kovra::MissingDriverFlags({unbound}, kovra::D2xxServesFtdiReaders()),
                KOVRA_MISSING_FTDI_DRIVER);
    }
  }
  const int serial = KOVRA_OpenPort(sim.path().c_str(), 19200, 1000);
  EXPECT_GT(serial, 0);
  if (serial > 0) KOVRA_ClosePort(serial);
}

}  // namespace
