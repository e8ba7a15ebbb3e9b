// The USB readers for KOVRA_ListUsbPorts: names from every source of directly driven USB readers
// (FTDI readers through D2XX, HID readers), kept when they start with one of our article numbers.
// Every name is one KOVRA_OpenPort routes back to the transport it came from.
#pragma once

#include <string>
#include <vector>

namespace kovra {

// One source of USB reader names.
using UsbReaderSource = std::vector<std::string> (*)();

// The names of `sources`, in their order, that start with an article number
// (StartsWithArticleNumber).
std::vector<std::string> UsbReaderNames(const std::vector<UsbReaderSource> &sources);

// The sources of this build, in list order: the serial numbers of FTDI devices through the
// vendor's D2XX library (devices not open in this process; a serial number that is not plain
// text, or that would route to another transport, is left out; none when the library is missing,
// fails, or claims more than d2xx::kMaxDevices devices), then our HID readers
// (EnumerateHidReaders on the process binding).
const std::vector<UsbReaderSource> &UsbReaderSources();

}  // namespace kovra
