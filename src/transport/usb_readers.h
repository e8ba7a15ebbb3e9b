// The USB readers for KOVRA_ListUsbPorts: names from every source of directly driven USB readers,
// kept when they start with one of our article numbers.
#pragma once

#include <string>
#include <vector>

namespace kovra {

// One source of USB reader names.
using UsbReaderSource = std::vector<std::string> (*)();

// The names of `sources`, in their order, that start with an article number
// (StartsWithArticleNumber).
std::vector<std::string> UsbReaderNames(const std::vector<UsbReaderSource> &sources);

// The sources of this build, in list order: FTDI devices through the vendor's D2XX library (none
// until its binding exists), then our HID readers (EnumerateHidReaders on the process binding).
const std::vector<UsbReaderSource> &UsbReaderSources();

}  // namespace kovra
