// Owning handles of libudev objects, so every path out of an enumeration releases them.
#pragma once

#include <libudev.h>

#include <memory>

namespace kovra {

struct UdevUnref {
  void operator()(udev *u) const { udev_unref(u); }
  void operator()(udev_enumerate *e) const { udev_enumerate_unref(e); }
  void operator()(udev_device *d) const { udev_device_unref(d); }
};
using UdevRef = std::unique_ptr<udev, UdevUnref>;
using UdevEnumerateRef = std::unique_ptr<udev_enumerate, UdevUnref>;
using UdevDeviceRef = std::unique_ptr<udev_device, UdevUnref>;

// Calls visit(udev_device *) for every device of `subsystem` that libudev finds. False when
// libudev cannot be used.
template <typename Visit>
bool ForEachUdevDevice(const char *subsystem, Visit &&visit) {
  UdevRef udev(udev_new());
  if (!udev) return false;
  UdevEnumerateRef enumerate(udev_enumerate_new(udev.get()));
  if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), subsystem) < 0 ||
      udev_enumerate_scan_devices(enumerate.get()) < 0) {
    return false;
  }
  udev_list_entry *entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
    UdevDeviceRef device(udev_device_new_from_syspath(udev.get(), udev_list_entry_get_name(entry)));
    if (device) visit(device.get());
  }
  return true;
}

// A USB ID as sysfs writes it ("0403"); 0 for text that is not four hex digits.
inline unsigned UsbIdFromText(const char *text) {
  if (text == nullptr) return 0;
  unsigned value = 0;
  int digits = 0;
  for (; text[digits] != '\0'; ++digits) {
    const char c = text[digits];
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return 0;
    }
    if (digits == 4) return 0;
    value = value * 16 + digit;
  }
  return digits == 4 ? value : 0;
}

}  // namespace kovra
