// Lists of ports before anything is opened: serial ports and their marks, USB reader names by
// article number, missing drivers, kernel modules, the list convention.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "api/name_list.h"
#include "kovra.h"
#include "transport/hid/hid_devices.h"
#include "transport/serial/serial_discovery.h"
#include "transport/serial/serial_name.h"
#include "transport/usb_drivers.h"
#include "transport/usb_ids.h"
#include "transport/usb_readers.h"

namespace kovra {
namespace {

SerialPortInfo Port(std::string kernel, std::string by_id = "", std::string product = "",
                    uint16_t vid = 0, uint16_t pid = 0) {
  return {kernel, "/dev/" + kernel, std::move(by_id), std::move(product), vid, pid};
}

TEST(SerialDiscovery, PortsAreSortedByNumberNamedStablyAndOurReadersMarked) {
  const std::string by_id = "/dev/serial/by-id/usb-Ulo_Reader_3105-77-if00";
  const std::vector<std::string> names = SerialPortListNames({
      Port("ttyUSB0", "", "FT232R USB UART", kFtdiVendorId, 0x6001),
      Port("ttyACM10", "", "CDC device", kVirtualComVendorId, kVirtualComProductId),
      Port("ttyACM2", by_id, "ulo Reader 3105"),
      Port("ttyS0"),
      Port("ttyACM1", "", "RB-6 [Desk]\x01" + std::string(80, 'x')),
  });
  EXPECT_EQ(names, (std::vector<std::string>{
                       "/dev/ttyACM1 [RB-6 (Desk)" + std::string(53, 'x') + "]",
                       by_id + " [ulo Reader 3105]",
                       "/dev/ttyACM10 [Ulo Virtual COM]",
                       "/dev/ttyS0",
                       "/dev/ttyUSB0",
                   }));
  // The port list's names open the port they name.
  EXPECT_EQ(NormaliseSerialName(names[1]).device, by_id);
  EXPECT_EQ(NormaliseSerialName(names[2]).device, "/dev/ttyACM10");
}

TEST(SerialDiscovery, AProductStringIsNotCutInsideACharacter) {
  // 63 bytes, then an ä across the 64-byte cut, which goes whole.
  const std::string product = "Ulo " + std::string(59, 'a') + "\xC3\xA4";
  EXPECT_EQ(SerialPortListName(Port("ttyACM0", "", product)),
            "/dev/ttyACM0 [Ulo " + std::string(59, 'a') + "]");
  EXPECT_EQ(SerialPortListName(Port("ttyACM0", "", "Ulo \xC3\xA4")), "/dev/ttyACM0 [Ulo \xC3\xA4]");
}

TEST(SerialDiscovery, TheMachinesSerialPortsAreRealTtyDevices) {
  const std::vector<SerialPortInfo> ports = EnumerateSerialPorts("/dev/serial/by-id");
  if (ports.empty()) GTEST_SKIP() << "this machine has no serial port known to udev";
  for (const SerialPortInfo &port : ports) {
    struct stat info {};
    EXPECT_EQ(::stat(port.device_node.c_str(), &info), 0) << port.device_node;
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << port.device_node;
    // Virtual consoles (tty0, tty1, ...) are no serial lines.
    EXPECT_NE(port.kernel_name.rfind("tty", 0), std::string::npos);
    EXPECT_FALSE(port.kernel_name.size() > 3 && std::isdigit(port.kernel_name[3]))
        << port.kernel_name;
  }
  char list[4096];
  EXPECT_GT(KOVRA_ListComPorts(list, sizeof list), 1);
}

TEST(UsbReaders, OnlyNamesStartingWithAnArticleNumberAreKept) {
  EXPECT_EQ(ArticleNumberCount(), 152);
  const std::vector<UsbReaderSource> sources = {
      [] {
        return std::vector<std::string>{"3100", "3129-1 HID", "3130-1 HID", "ABCD"};
      },
      [] {
        return std::vector<std::string>{"", "31", "5002 HID", "4500x", "+310-1"};
      },
  };
  EXPECT_EQ(UsbReaderNames(sources),
            (std::vector<std::string>{"3100", "3129-1 HID", "5002 HID", "4500x"}));
  EXPECT_TRUE(StartsWithArticleNumber(HidReaderName(nullptr)));
}

// The udev rules open up exactly the devices the library takes for ours.
TEST(UsbIds, TheUdevRulesNameEveryReaderOfTheTables) {
  std::set<std::string> expected;
  char id[16];
  const auto add = [&](const char *subsystem, uint16_t vendor, uint16_t product) {
    std::snprintf(id, sizeof id, "%04x:%04x", vendor, product);
    expected.insert(std::string(subsystem) + " " + id);
  };
  for (const UsbId &reader : HidReaderIds()) add("hidraw", reader.vendor_id, reader.product_id);
  add("tty", kFtdiVendorId, kFtdiReaderProductId);
  add("tty", kVirtualComVendorId, kVirtualComProductId);
  add("usb", kFtdiVendorId, kFtdiReaderProductId);

  std::set<std::string> found;
  std::ifstream rules(KOVRA_SOURCE_DIR "/udev/60-kv-desfire-readers.rules");
  ASSERT_TRUE(rules.good());
  const std::regex line(
      R"re(^SUBSYSTEM=="(\w+)".*idVendor\}=="(\w{4})".*idProduct\}=="(\w{4})")re");
  for (std::string text; std::getline(rules, text);) {
    std::smatch match;
    if (std::regex_search(text, match, line)) {
      found.insert(match[1].str() + " " + match[2].str() + ":" + match[3].str());
    }
  }
  EXPECT_EQ(found, expected);
}

TEST(UsbDrivers, FlagsNameTheFamiliesPluggedInWithoutADriver) {
  const UsbDeviceDriver ftdi{kFtdiVendorId, kFtdiReaderProductId, false};
  const UsbDeviceDriver acm{kVirtualComVendorId, kVirtualComProductId, false};
  UsbDeviceDriver acm_bound = acm;
  acm_bound.has_driver = true;
  const UsbDeviceDriver other_ftdi{kFtdiVendorId, 0x6001, false};
  EXPECT_EQ(MissingDriverFlags({ftdi, acm}, false),
            KOVRA_MISSING_FTDI_DRIVER | KOVRA_MISSING_VIRTUAL_COM_DRIVER);
  EXPECT_EQ(MissingDriverFlags({acm_bound, other_ftdi}, false), 0);
  EXPECT_EQ(MissingDriverFlags({acm_bound, acm}, false), KOVRA_MISSING_VIRTUAL_COM_DRIVER);
  EXPECT_EQ(MissingDriverFlags(EnumerateUsbDeviceDrivers(), D2xxServesFtdiReaders()),
            KOVRA_GetMissingDrivers());
}

// An FTDI reader unbound from ftdi_sio for the D2XX library is set up as advised, not missing a
// driver; the virtual COM family has no such way round its kernel driver.
TEST(UsbDrivers, AnFtdiReaderWithoutKernelDriverIsServedWhereD2xxIs) {
  const UsbDeviceDriver ftdi{kFtdiVendorId, kFtdiReaderProductId, false};
  const UsbDeviceDriver acm{kVirtualComVendorId, kVirtualComProductId, false};
  EXPECT_EQ(MissingDriverFlags({ftdi}, true), 0);
  EXPECT_EQ(MissingDriverFlags({ftdi, acm}, true), KOVRA_MISSING_VIRTUAL_COM_DRIVER);
  EXPECT_EQ(MissingDriverFlags({ftdi}, false), KOVRA_MISSING_FTDI_DRIVER);
}

TEST(UsbDrivers, AKernelModuleCountsWhenLoadedBuiltInOrInstalled) {
  char pattern[] = "/tmp/kovra-modules-XXXXXX";
  const std::filesystem::path root = mkdtemp(pattern);
  const std::filesystem::path sys = root / "sys";
  const std::filesystem::path modules = root / "lib";
  std::filesystem::create_directories(sys / "module/usbserial");
  std::filesystem::create_directories(modules);
  std::ofstream(modules / "modules.builtin") << "kernel/drivers/usb/serial/ftdi_sio.ko\n";
  std::ofstream(modules / "modules.dep")
      << "kernel/drivers/usb/class/cdc-acm.ko.xz: kernel/drivers/usb/core/usbcore.ko.xz\n"
         "kernel/drivers/usb/class/cdc-acm-extra.ko:\n";
  for (const auto &[module, available] : {std::pair{"usbserial", true},
                                          {"ftdi_sio", true},
                                          {"ftdi-sio", true},
                                          {"cdc_acm", true},
                                          {"cdc", false},
                                          {"usbcore", false},
                                          {"pl2303", false}}) {
    EXPECT_EQ(KernelModuleAvailable(module, sys.string(), modules.string()), available) << module;
  }
  EXPECT_FALSE(KernelModuleAvailable("cdc_acm", sys.string(), (root / "none").string()));
  std::filesystem::remove_all(root);
}

TEST(NameList, NamesThatDoNotFitEndTheList) {
  const std::vector<std::string> names = {"COM1", "COM12"};
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(WriteNameList(names, buffer, sizeof buffer), 12);
  EXPECT_EQ(std::string(buffer, 12), std::string("COM1\0COM12\0\0", 12));
  EXPECT_EQ(WriteNameList(names, buffer, 11), 6);  // COM12 would leave no room for the end
  EXPECT_EQ(std::string(buffer, 6), std::string("COM1\0\0", 6));
  EXPECT_EQ(WriteNameList(names, buffer, 1), 1);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(WriteNameList({}, buffer, 5), 1);
  EXPECT_EQ(WriteNameList(names, nullptr, 16), 0);
  EXPECT_EQ(WriteNameList(names, buffer, 0), 0);
  EXPECT_EQ(KOVRA_ListBtPorts(buffer, sizeof buffer), 1);
}

}  // namespace
}  // namespace kovra
