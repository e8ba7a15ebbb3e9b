// Finding our HID readers through hidapi: which devices are ours, what each is called, and how
// long its reports are.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/hid/hid_report.h"
#include "transport/hid/hidapi_binding.h"

namespace kovra {

// The most HID readers listed or looked at; a longer device list ends there.
inline constexpr size_t kMaxHidReaders = 64;
// The most device records of one enumeration walked through (also bounds a broken list).
inline constexpr size_t kMaxHidDeviceRecords = 4096;

// The name a HID reader goes by: its serial number string followed by " HID". The serial number
// is cut to 49 characters; each character other than a letter, a digit, '-', '_', '#' or '+' of
// ASCII becomes '_', so that no name reads as a network address, a device path or a bus address
// suffix (all of which route elsewhere). A reader without a serial number (null, empty or only
// blanks) is named kHidPlaceholderSerial + " HID".
std::string HidReaderName(const wchar_t *serial_number);

// One of our HID readers as the enumeration found it.
struct HidReaderInfo {
  std::string name;  // HidReaderName
  std::string path;  // hidapi's path, for hid_open_path
  HidReportLayout layout;
};

// Our readers among hidapi's devices: devices whose vendor and product ID are in our table
// (IsHidReaderId) and whose report lengths are supported (IsSupportedLayout), each name once, in
// hidapi's order, at most kMaxHidReaders. Empty when `api` is not available.
std::vector<HidReaderInfo> EnumerateHidReaders(HidApi &api);

// The report lengths of the device at `path` (hidraw's "/dev/hidrawN"): from its report
// descriptor in sysfs, else, when `device` is open and hidapi has hid_get_report_descriptor, from
// that; when neither gives a descriptor, 9 and 9 bytes.
HidReportLayout HidLayoutOf(HidApi &api, const std::string &path, hid_device *device);

// True when two reader names are equal ignoring the letter case of ASCII letters.
bool SameReaderName(std::string_view a, std::string_view b);

}  // namespace kovra
