// What a port name says before anything is opened: its bus address suffix, which transport it
// leads to, and whether the baud argument counts.
#pragma once

#include <string>
#include <string_view>

namespace kovra {

// PC/SC readers are named by this prefix and the reader's name as the PC/SC daemon gives it.
inline constexpr std::string_view kPcscPortPrefix = "PCSC: ";

struct PortName {
  std::string name;     // the name without the bus address suffix
  int bus_address = 1;  // from ":N" at the end; 1 without a suffix
};

// Splits off the bus address: the text after the first colon, read as a decimal number (digits
// up to the first other character; none gives 0), and removes the colon and what follows. For an
// absolute path (whose names may hold colons, as /dev/serial/by-path/ ones do) only a last colon
// followed by nothing but digits is a suffix; the same holds for a PC/SC reader's name
// (kPcscPortPrefix), whose suffix is taken off and means nothing to the reader.
PortName SplitBusAddress(std::string_view name);

enum class PortRoute {
  kPcsc,        // begins with kPcscPortPrefix
  kLan,         // begins with "[" or holds three dots, the first not at the start
  kHid,         // holds "HID"
  kBluetoothW,  // holds "BTW": no transport, the open fails
  kBluetooth,   // holds "BT"
  kSerial,      // everything else, and every absolute path that does not end in " BT"
};

// The transport a name (without its bus address) leads to. The tests are made in this order:
// PC/SC reader (its name from the daemon may hold anything), absolute path ("/dev/ttyUSB0", a link
// such as "/run/reader" or "/srv/kv/pty"; only one that ends in " BT" is a Bluetooth module's line,
// every other one is serial), network name, "HID", "BT"; the first that matches decides.
PortRoute RouteOf(std::string_view name);

// True when the open uses the baud argument: names that begin with "COM" or "\\.\COM" in any
// letter case, and absolute paths. Every other name opens at 19200 baud.
bool UsesBaudArgument(std::string_view name);

}  // namespace kovra
