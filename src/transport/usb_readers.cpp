#include "transport/usb_readers.h"

#include "transport/hid_devices.h"
#include "transport/usb_ids.h"

namespace kovra {
namespace {

// The serial numbers of FTDI readers that are not open in this process. The D2XX binding fills
// this in; until then FTDI readers are reached through ftdi_sio as serial ports.
std::vector<std::string> D2xxReaderNames() {
  return {};
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
