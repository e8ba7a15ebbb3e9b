// The machine's serial ports for KOVRA_ListComPorts.
#include "transport/serial/serial_discovery.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "transport/udev_ref.h"
#include "transport/usb_ids.h"

namespace kovra {
namespace {

constexpr size_t kMaxProductBytes = 64;

bool StartsWithIgnoringCase(const std::string &text, const char *prefix) {
  const size_t length = std::strlen(prefix);
  if (text.size() < length) return false;
  return ::strncasecmp(text.c_str(), prefix, length) == 0;
}

std::string ShownProduct(const std::string &product) {
  std::string shown;
  for (const char c : product) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) continue;
    shown += c == '[' ? '(' : c == ']' ? ')' : c;
  }
  if (shown.size() > kMaxProductBytes) {
    // Not inside a UTF-8 character: back up to the start of the one the cut goes through.
    size_t cut = kMaxProductBytes;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
    shown.resize(cut);
  }
  return shown;
}

// ttyUSB10 -> ("ttyUSB", 10, ""): letters, number, anything after.
std::tuple<std::string, unsigned long, std::string> SortKey(const std::string &kernel_name) {
  const size_t digits = kernel_name.find_first_of("0123456789");
  if (digits == std::string::npos) return {kernel_name, 0, ""};
  const size_t end = kernel_name.find_first_not_of("0123456789", digits);
  const std::string number = kernel_name.substr(digits, std::min<size_t>(end - digits, 9));
  return {kernel_name.substr(0, digits), std::stoul(number),
          end == std::string::npos ? "" : kernel_name.substr(end)};
}

// Each real node under by_id_dir -> the link's path.
std::map<std::string, std::string> ByIdLinks(const std::string &by_id_dir) {
  std::map<std::string, std::string> links;
  DIR *dir = ::opendir(by_id_dir.c_str());
  if (dir == nullptr) return links;
  while (const dirent *entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const std::string link = by_id_dir + "/" + entry->d_name;
    char target[PATH_MAX];
    if (::realpath(link.c_str(), target) == nullptr) continue;
    // Two links to one node: the first in name order wins, so the list does not change between
    // calls.
    auto found = links.find(target);
    if (found == links.end() || link < found->second) links[target] = link;
  }
  ::closedir(dir);
  return links;
}

std::string Text(const char *text) {
  return text != nullptr ? text : "";
}

}  // namespace

std::string SerialPortListName(const SerialPortInfo &port) {
  std::string name = port.by_id.empty() ? port.device_node : port.by_id;
  if (StartsWithIgnoringCase(port.product, "Ulo") || StartsWithIgnoringCase(port.product, "RB-6")) {
    return name + " [" + ShownProduct(port.product) + "]";
  }
  if (port.vendor_id == kVirtualComVendorId && port.product_id == kVirtualComProductId) {
    return name + " [Ulo Virtual COM]";
  }
  return name;
}

std::vector<std::string> SerialPortListNames(std::vector<SerialPortInfo> ports) {
  std::stable_sort(ports.begin(), ports.end(),
                   [](const SerialPortInfo &a, const SerialPortInfo &b) {
                     return SortKey(a.kernel_name) < SortKey(b.kernel_name);
                   });
  std::vector<std::string> names;
  names.reserve(ports.size());
  for (const SerialPortInfo &port : ports) names.push_back(SerialPortListName(port));
  return names;
}

std::vector<SerialPortInfo> EnumerateSerialPorts(const std::string &by_id_dir) {
  std::vector<SerialPortInfo> ports;
  const std::map<std::string, std::string> links = ByIdLinks(by_id_dir);
  ForEachUdevDevice("tty", [&](udev_device *device) {
    // Virtual consoles and pseudo-terminals have no parent device with a driver; every serial
    // line has one (the UART's, the USB serial converter's, the CDC ACM interface's).
    udev_device *parent = udev_device_get_parent(device);  // owned by `device`
    if (parent == nullptr || udev_device_get_driver(parent) == nullptr) return;
    const char *type = udev_device_get_sysattr_value(device, "type");
    if (type != nullptr && std::strcmp(type, "0") == 0) return;

    SerialPortInfo port;
    port.kernel_name = Text(udev_device_get_sysname(device));
    const char *node = udev_device_get_devnode(device);
    port.device_node = node != nullptr ? node : "/dev/" + port.kernel_name;
    char real[PATH_MAX];
    if (::realpath(port.device_node.c_str(), real) != nullptr) {
      if (auto link = links.find(real); link != links.end()) port.by_id = link->second;
    }
    if (udev_device *usb =
            udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device")) {
      port.vendor_id =
          static_cast<uint16_t>(UsbIdFromText(udev_device_get_sysattr_value(usb, "idVendor")));
      port.product_id =
          static_cast<uint16_t>(UsbIdFromText(udev_device_get_sysattr_value(usb, "idProduct")));
      port.product = Text(udev_device_get_sysattr_value(usb, "product"));
    }
    ports.push_back(std::move(port));
  });
  return ports;
}

}  // namespace kovra
