// Pure rules of the serial transport: which device a port name opens, and its line settings.
#include "transport/serial/serial_name.h"

namespace kovra {
namespace {

// An absolute path: a device node, or a link to one (the tty check comes at the open).
constexpr std::string_view kPathPrefix = "/";
// The four characters backslash, backslash, dot, backslash.
constexpr std::string_view kWin32DevicePrefix = "\\\\.\\";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsComPrefix(std::string_view name) {
  if (name.size() < 4) return false;
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  return upper(name[0]) == 'C' && upper(name[1]) == 'O' && upper(name[2]) == 'M' &&
         name[3] >= '1' && name[3] <= '9';
}

// n - 1 for a decimal number without leading zeros and at least 1, done on the digits so that
// any length of number works ("COM99999999999999999999" must not overflow into another device).
std::string DecimalMinusOne(std::string digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '0') {
      --digits[i];
      break;
    }
    digits[i] = '9';
  }
  const size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? std::string("0") : digits.substr(first);
}

}  // namespace

SerialDevice NormaliseSerialName(std::string_view name) {
  if (name.starts_with(kPathPrefix)) {
    // The port list marks our readers as "/dev/... [description]"; the mark is no part of the
    // path.
    const size_t mark = name.find(" [");
    if (mark != std::string_view::npos && name.ends_with(']')) name = name.substr(0, mark);
    return {std::string(name), false};
  }
  if (name.starts_with(kWin32DevicePrefix)) name.remove_prefix(kWin32DevicePrefix.size());
  if (!IsComPrefix(name)) return {std::string(name), true};

  size_t end = 3;
  while (end < name.size() && IsDigit(name[end])) ++end;
  const std::string number(name.substr(3, end - 3));
  return {"/dev/ttyS" + DecimalMinusOne(number), false};
}

LineSettings LineSettingsFromBaudArgument(int argument) {
  // Truncating division cannot overflow; a negative argument (no rate at all) gets a negative
  // remainder and so the default framing.
  const int remainder = argument % 100;
  LineSettings settings;
  settings.baud = argument - remainder;
  switch (remainder) {
    case 1:
      settings.parity = 'E';
      break;
    case 2:
      settings.parity = 'O';
      break;
    case 3:
      settings.stop_bits = 2;
      break;
    default:
      break;
  }
  return settings;
}

}  // namespace kovra
