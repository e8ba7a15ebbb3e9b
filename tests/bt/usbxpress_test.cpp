// The USB bridge's library seen from the lists and the open: what its devices are called and which
// of its handles are used, through the library's ordinary dlopen path of a stand-in
// (fake_siusbxp.cpp).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "kovra.h"
#include "support/fake_devices.h"

namespace {

using kovra_test::FakeDevices;

// Before the library's first use of the bridge; a value given from outside (the variants) wins.
const bool kFakeBridge = setenv("KOVRA_SIUSBXP_LIBRARY", FAKE_SIUSBXP_PATH, 0) == 0;
constexpr const char *kConfig = "FAKE_SIUSBXP_CONFIG";

std::vector<std::string> BtPorts() {
  return kovra_test::ListedPorts(KOVRA_ListBtPorts);
}

// Serial numbers are whatever the bridge's EEPROM holds. Only plain ones whose name routes back to
// the Bluetooth transport are listed: "HID" in it would route to HID, "BTW" would be refused.
TEST(UsbXpressDiscovery, ListsOnlyPlainSerialNumbersThatRouteBackToBluetooth) {
  ASSERT_TRUE(kFakeBridge);
  FakeDevices devices(
      "device serial=ULO-PN7341#\xff\xfe\x01\n"
      "device serial=ULO-PN7341#HID1\n"
      "device serial=ULO-PN7341#BTW1\n"
      "device serial=ULO-PN7341#1.2.3.4\n"
      "device serial=ULO-PN7341#/dev\n"
      "device serial=ULO-PN7341#0001\n",
      kConfig);
  EXPECT_EQ(BtPorts(), (std::vector<std::string>{"ULO-PN7341#0001 BT"}));
}

// More devices than a listing looks at: the first 64 are listed, not none.
TEST(UsbXpressDiscovery, ABridgeWithMoreDevicesThanTheBoundListsTheFirstOnes) {
  FakeDevices devices("device serial=ULO-PN7341#A count=300\n", kConfig);
  const std::vector<std::string> ports = BtPorts();
  ASSERT_EQ(ports.size(), 64u);
  EXPECT_EQ(ports.front(), "ULO-PN7341#A-1 BT");
  EXPECT_EQ(ports.back(), "ULO-PN7341#A-64 BT");
}

// SI_Open may claim success and still hand out INVALID_HANDLE_VALUE (0xFFFFFFFF as the Linux
// headers define it), null or the all-ones pointer. None of them is a handle: the open fails and
// the library is never called with it.
TEST(UsbXpressPort, AnOpenThatGivesNoHandleFailsWithoutUsingIt) {
  FakeDevices first("device serial=ULO-PN7341#0001\n", kConfig);
  ASSERT_EQ(BtPorts().size(), 1u);  // the library is loaded now
  void *fake = dlopen(FAKE_SIUSBXP_PATH, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(fake, nullptr);
  const auto misuses = reinterpret_cast<int (*)()>(dlsym(fake, "fake_siusbxp_misuses"));
  ASSERT_NE(misuses, nullptr);
  for (const char *failed : {"4294967295", "0", "-1"}) {
    FakeDevices devices(std::string("open_status 0\nfailed_handle ") + failed +
                            "\ndevice serial=ULO-PN7341#0001 open_fails=1\n",
                        kConfig);
    const int misused_before = misuses();
    EXPECT_EQ(KOVRA_OpenPort("ULO-PN7341#0001 BT", 19200, 1000), KOVRA_OPEN_FAILED) << failed;
    EXPECT_EQ(KOVRA_GetLinkFailure(), KOVRA_LINK_NO_DEVICE) << failed;
    EXPECT_EQ(misuses(), misused_before) << failed;
  }
  dlclose(fake);
}

}  // namespace
