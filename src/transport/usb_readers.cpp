// The USB readers for KOVRA_ListUsbPorts.
#include "transport/usb_readers.h"

#include <cstring>

#include "reader/port_name.h"
#include "transport/ftdi/d2xx_binding.h"
#include "transport/hid/hid_devices.h"
#include "transport/plain_name.h"
#include "transport/serial/serial_name.h"
#include "transport/usb_ids.h"

namespace kovra {
namespace {

// True for a serial number that KOVRA_OpenPort takes back to the D2XX transport: plain
// characters only (the chip's EEPROM may hold any bytes), and nothing that routes elsewhere
// ("3100BT1" would go to Bluetooth, "3100HID" to HID, "COM12AB" to /dev/ttyS11).
bool RoutesToD2xx(const std::string &serial) {
  return IsPlainName(serial) && RouteOf(serial) == PortRoute::kSerial &&
         NormaliseSerialName(serial).use_d2xx;
}

// The serial numbers of FTDI devices that the D2XX library knows and that are not open in this
// process, less those that would not route back to it. Without the library there are none (its
// readers are then reached through ftdi_sio as serial ports). A count beyond kMaxDevices is a
// broken library: nothing is listed, as its device list only comes whole.
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
    if (RoutesToD2xx(serial)) names.push_back(serial);
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
