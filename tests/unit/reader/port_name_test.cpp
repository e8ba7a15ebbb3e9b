// Port names: the bus address suffix, the route a name takes and which baud rate counts, and the
// readers' model names.
#include "reader/port_name.h"

#include <gtest/gtest.h>

#include "reader/device_names.h"

namespace kovra {
namespace {

TEST(PortName, BusAddressSuffix) {
  const struct {
    const char *name;
    const char *rest;
    int address;
  } cases[] = {
      {"COM4:3", "COM4", 3},
      {"COM4", "COM4", 1},
      {"COM4:", "COM4:", 1},  // a colon with nothing behind it is no suffix
      {"COM4:12x", "COM4", 12},
      {"COM4:x", "COM4", 0},
      {"192.168.0.20:2:7", "192.168.0.20", 2},  // the first colon counts
      {"COM1:99999999999999", "COM1", 2147483647},
      {"/dev/ttyUSB0:3", "/dev/ttyUSB0", 3},
      {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0",
       "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", 1},
      {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0:2",
       "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", 2},
      // A link outside /dev is a path like any other.
      {"/run/kv:reader:4", "/run/kv:reader", 4},
      {"/run/kv:reader", "/run/kv:reader", 1},
      // A PC/SC reader's name is the daemon's, colons included: only a last ":N" is a suffix.
      {"PCSC: Virtual PCD 00 00", "PCSC: Virtual PCD 00 00", 1},
      {"PCSC: Desk Reader [CCID]:2 00 01", "PCSC: Desk Reader [CCID]:2 00 01", 1},
      {"PCSC: Virtual PCD 00 00:1", "PCSC: Virtual PCD 00 00", 1},
  };
  for (const auto &c : cases) {
    const PortName parsed = SplitBusAddress(c.name);
    EXPECT_EQ(parsed.name, c.rest) << c.name;
    EXPECT_EQ(parsed.bus_address, c.address) << c.name;
  }
}

TEST(PortName, RouteAndBaudRule) {
  const struct {
    const char *name;
    PortRoute route;
    bool uses_baud;
  } cases[] = {
      {"COM3", PortRoute::kSerial, true},
      {"com3", PortRoute::kSerial, true},
      {"\\\\.\\COM12", PortRoute::kSerial, true},
      {"COM3 [Ulo Virtual COM]", PortRoute::kSerial, true},
      {"/dev/ttyUSB0", PortRoute::kSerial, true},
      {"/dev/ttyBT0", PortRoute::kSerial, true},  // a device path is a serial device
      {"AB12CD34", PortRoute::kSerial, false},    // an FTDI serial number
      {"192.168.0.20", PortRoute::kLan, false},
      {"[KV-LAN01abcdef01]", PortRoute::kLan, false},
      {".1.2.3", PortRoute::kSerial, false},  // the first dot at the start: no address
      {"1.2.3", PortRoute::kSerial, false},   // two dots are not enough
      {"KV-HF Desk HID 0001", PortRoute::kHid, false},
      {"BT 00:11:22", PortRoute::kBluetooth, false},
      {"BTW 1", PortRoute::kBluetoothW, false},
      {"HID over BT", PortRoute::kHid, false},  // HID is tested before BT
      // A PC/SC reader's name is tested first: the daemon's names may hold anything.
      {"PCSC: Virtual PCD 00 00", PortRoute::kPcsc, false},
      {"PCSC: HID Global OMNIKEY 1.2.3.4 BT", PortRoute::kPcsc, false},
      {"PCSC: /dev/ttyS0", PortRoute::kPcsc, false},
      {"pcsc: lower case", PortRoute::kSerial, false},  // the prefix as the list gives it
      // An absolute path is a serial line whatever its folders say; only " BT" at its end makes
      // it a Bluetooth module's line.
      {"/srv/kv/pty", PortRoute::kSerial, true},
      {"/run/HID.BT.1.2/[reader]", PortRoute::kSerial, true},
      {"/run/kv-reader BT", PortRoute::kBluetooth, true},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(RouteOf(c.name), c.route) << c.name;
    EXPECT_EQ(UsesBaudArgument(c.name), c.uses_baud) << c.name;
  }
}

TEST(DeviceNames, KnownCodesAndTheFallback) {
  EXPECT_EQ(DeviceName(0x117), "KV-HF Module 117 DESFire");
  EXPECT_EQ(DeviceName(0x125), "KV-BT Adapter");
  EXPECT_EQ(DeviceName(0x1A3), "KV-#1A3");
  EXPECT_EQ(DeviceName(0), "KV-#000");
}

}  // namespace
}  // namespace kovra
