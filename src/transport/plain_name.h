// Which names a device may bring into the port lists. A device's own name (a serial number from a
// vendor's library or from hidapi) is bytes the device chose; a port name is UTF-8 text whose
// form picks the transport (reader/port_name.h). Only names of a few plain characters are safe to
// hand on: no byte that is not text, no control character, and nothing that reads as a network
// address (dots, "["), a bus address suffix (":"), a path ("/") or a port list's mark (" [").
#pragma once

#include <string_view>

namespace kovra {

// ASCII letters, digits, '-', '_', '#' and '+'.
constexpr bool IsPlainNameCharacter(char32_t c) {
  return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || (c >= U'0' && c <= U'9') ||
         c == U'-' || c == U'_' || c == U'#' || c == U'+';
}

// True when `name` is not empty and every character of it is plain.
constexpr bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (!IsPlainNameCharacter(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace kovra
