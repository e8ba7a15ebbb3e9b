// Finding our HID readers through hidapi.
#include "transport/hid/hid_devices.h"

#include <algorithm>

#include "transport/hid/hid_descriptor.h"
#include "transport/plain_name.h"
#include "transport/usb_ids.h"

namespace kovra {
namespace {

constexpr size_t kMaxSerialCharacters = 49;  // a 50-character buffer with its terminator
constexpr char kSysfsRoot[] = "/sys";

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::optional<HidReportLayout> SysfsLayout(const std::string &path) {
  const auto descriptor = SysfsReportDescriptor(kSysfsRoot, path);
  if (!descriptor) return std::nullopt;
  return ParseReportDescriptor(descriptor->data(), descriptor->size());
}

std::optional<HidReportLayout> DeviceLayout(HidApi &api, hid_device *device) {
  if (device == nullptr || api.get_report_descriptor == nullptr) return std::nullopt;
  std::vector<uint8_t> descriptor(kMaxReportDescriptorSize);
  const int got = api.get_report_descriptor(device, descriptor.data(), descriptor.size());
  if (got <= 0 || static_cast<size_t>(got) > descriptor.size()) return std::nullopt;
  return ParseReportDescriptor(descriptor.data(), static_cast<size_t>(got));
}

}  // namespace

std::string HidReaderName(const wchar_t *serial_number) {
  std::string serial;
  if (serial_number != nullptr) {
    for (size_t i = 0; i < kMaxSerialCharacters && serial_number[i] != L'\0'; ++i) {
      const wchar_t c = serial_number[i];
      serial += IsPlainNameCharacter(static_cast<char32_t>(c)) ? static_cast<char>(c) : '_';
    }
    // A string of blanks is a device's way of having no serial number.
    const bool only_blanks = std::all_of(serial_number, serial_number + std::wcslen(serial_number),
                                         [](wchar_t c) { return c == L' '; });
    if (only_blanks) serial.clear();
  }
  if (serial.empty()) serial = kHidPlaceholderSerial;
  return serial + " HID";
}

bool SameReaderName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

HidReportLayout HidLayoutOf(HidApi &api, const std::string &path, hid_device *device) {
  if (auto layout = SysfsLayout(path)) return *layout;
  return DeviceLayout(api, device).value_or(HidReportLayout{});
}

std::vector<HidReaderInfo> EnumerateHidReaders(HidApi &api) {
  std::vector<HidReaderInfo> readers;
  if (!api.Available()) return readers;
  hid_device_info *const devices = api.enumerate(0, 0);
  size_t walked = 0;
  for (const hid_device_info *info = devices;
       info != nullptr && walked < kMaxHidDeviceRecords && readers.size() < kMaxHidReaders;
       info = info->next, ++walked) {
    if (!IsHidReaderId(info->vendor_id, info->product_id) || info->path == nullptr) continue;
    std::string name = HidReaderName(info->serial_number);
    const bool known = std::any_of(readers.begin(), readers.end(),
                                   [&](const HidReaderInfo &r) { return r.name == name; });
    if (known) continue;
    const std::string path = info->path;
    // Without a descriptor in sysfs the device is opened for a moment to ask hidapi for it.
    std::optional<HidReportLayout> found = SysfsLayout(path);
    if (!found && api.get_report_descriptor != nullptr) {
      if (hid_device *device = api.open_path(path.c_str())) {
        found = DeviceLayout(api, device);
        api.close(device);
      }
    }
    const HidReportLayout layout = found.value_or(HidReportLayout{});
    if (!IsSupportedLayout(layout)) continue;
    readers.push_back({std::move(name), path, layout});
  }
  if (devices != nullptr) api.free_enumeration(devices);
  return readers;
}

}  // namespace kovra
