#include "transport/usb_readers.h"

#include <cstring>

#include "transport/d2xx_binding.h"
#include "transport/hid_devices.h"
#include "transport/usb_ids.h"

namespace kovra {
namespace {

// The serial numbers of FTDI devices that the D2XX library knows and that are not open in this
// process. Without the library there are none (its readers are then reached through ftdi_sio as
// serial ports). A count beyond kMaxDevices is a broken library: nothing is listed.
std::vector<std::string> D2xxReaderNames() {
  CFTD2xxPort &d2xx = CFTD2xxPort::Process();
  d2xx::DWORD count = 0;
  if (d2xx.CreateDeviceInfoList(&count) != d2xx::kOk || count == 0 || count > d2xx::kMaxDevices) {
    return {};
  }
  std::vector<d2xx::DeviceInfo> records(count);
  d2xx::DWORD filled = count;
  if (d2xx.GetDeviceInfoList(records.data(), &filled) != d2xx::kOk) return {};
  std::vector<std::string> names;
  for (d2xx::DWORD i = 0; i < filled && i < count; ++i) {
    const d2xx::DeviceInfo &record = records[i];
    if (record.handle != nullptr) continue;  // open in this process
    const std::string serial(record.serial_number,
                             strnlen(record.serial_number, sizeof(record.serial_number)));
    if (!serial.empty()) names.push_back(serial);
  }
  return names;
}

std::vector<std::string> HidReaderNames() {
  std::vector<std::string> names;
  for (HidReaderInfo &reader : EnumerateHidReaders(HidApi::Process())) {
    names.push_back(std::move(reader.name));
  }
  return names;
}

}  // namespace

std::vector<std::string> UsbReaderNames(const std::vector<UsbReaderSource> &sources) {
  std::vector<std::string> names;
  for (const UsbReaderSource source : sources) {
    for (std::string &name : source()) {
      if (StartsWithArticleNumber(name)) names.push_back(std::move(name));
    }
  }
  return names;
}

const std::vector<UsbReaderSource> &UsbReaderSources() {
  static const std::vector<UsbReaderSource> sources{D2xxReaderNames, HidReaderNames};
  return sources;
}

}  // namespace kovra
