// What a port name says before anything is opened.
#include "reader/port_name.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace kovra {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// An absolute path: a device node under /dev/, or a link to one elsewhere (made by udev rules,
// socat or a test). Whether it is a terminal is checked when it is opened.
bool IsPath(std::string_view name) {
  return StartsWith(name, "/");
}

// Leading decimal digits as a number; a run too long for an int saturates.
int LeadingNumber(std::string_view text) {
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = std::min<long long>(value * 10 + (c - '0'), INT_MAX);
  }
  return static_cast<int>(value);
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsPcscName(std::string_view name) {
  return StartsWith(name, kPcscPortPrefix);
}

}  // namespace

PortName SplitBusAddress(std::string_view name) {
  // Paths and PC/SC reader names may hold colons of their own: only a last one followed by
  // digits alone is a suffix there.
  const bool whole_name_colons = IsPath(name) || IsPcscName(name);
  const size_t colon = whole_name_colons ? name.rfind(':') : name.find(':');
  if (colon == std::string_view::npos || colon + 1 >= name.size()) return {std::string(name), 1};
  const std::string_view suffix = name.substr(colon + 1);
  if (whole_name_colons && !AllDigits(suffix)) return {std::string(name), 1};
  return {std::string(name.substr(0, colon)), LeadingNumber(suffix)};
}

PortRoute RouteOf(std::string_view name) {
  if (IsPcscName(name)) return PortRoute::kPcsc;
  // A serial line with a Bluetooth module on it is the line's path followed by " BT". A path is
  // tested first: its folders may hold dots, "HID" or "BT" without being anything but a path.
  if (IsPath(name)) {
    const bool module = name.size() > 3 && name.substr(name.size() - 3) == " BT";
    return module ? PortRoute::kBluetooth : PortRoute::kSerial;
  }
  const size_t first_dot = name.find('.');
  const bool three_dots = std::count(name.begin(), name.end(), '.') >= 3;
  if (StartsWith(name, "[") || (three_dots && first_dot != 0)) return PortRoute::kLan;
  if (name.find("HID") != std::string_view::npos) return PortRoute::kHid;
  if (name.find("BTW") != std::string_view::npos) return PortRoute::kBluetoothW;
  if (name.find("BT") != std::string_view::npos) return PortRoute::kBluetooth;
  return PortRoute::kSerial;
}

bool UsesBaudArgument(std::string_view name) {
  return StartsWithNoCase(name, "COM") || StartsWithNoCase(name, "\\\\.\\COM") || IsPath(name);
}

}  // namespace kovra
