// The machine's serial ports for KOVRA_ListComPorts: found through libudev, named by their stable
// /dev/serial/by-id/ link where one exists, and marked when they are one of our readers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kovra {

// One serial port as the enumeration found it.
struct SerialPortInfo {
  std::string kernel_name;  // "ttyUSB0"
  std::string device_node;  // "/dev/ttyUSB0"
  std::string by_id;        // "/dev/serial/by-id/usb-..." or empty
  std::string product;      // the USB device's product string, empty when not on USB
  uint16_t vendor_id = 0;   // 0 when not on USB
  uint16_t product_id = 0;
};

// The name a port is listed as: its by-id link, else its device node; then " [" + product + "]"
// when the product string begins with "Ulo" or "RB-6" in any letter case, else
// " [Ulo Virtual COM]" for our virtual COM reader family (kVirtualComVendorId and
// kVirtualComProductId), else nothing. The product is cut to 64 bytes (not inside a UTF-8
// character); control characters are dropped and brackets become parentheses. KOVRA_OpenPort
// takes the name as it stands.
std::string SerialPortListName(const SerialPortInfo &port);

// The list names of `ports`, sorted by kernel name: its letters first, then its number as a
// number (ttyACM0, ttyACM2, ttyACM10, ttyS0, ttyUSB0).
std::vector<std::string> SerialPortListNames(std::vector<SerialPortInfo> ports);

// The serial ports libudev knows: tty devices whose parent device has a driver bound, without
// serial-core ports whose "type" says no UART is there (0). by_id is filled from the links in
// `by_id_dir` ("/dev/serial/by-id" on a running system) that lead to the port's node. Empty when
// libudev cannot be used.
std::vector<SerialPortInfo> EnumerateSerialPorts(const std::string &by_id_dir);

}  // namespace kovra
