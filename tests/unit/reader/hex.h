// Hex strings for test tables: "02 01 F0" <-> bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kovra_test {

inline std::vector<uint8_t> Hex(const std::string &text) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text) {
    if (c == ' ') continue;
    digits += c;
    if (digits.size() == 2) {
      bytes.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  return bytes;
}

inline std::string ToHex(const uint8_t *bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

inline std::string ToHex(const std::vector<uint8_t> &bytes) {
  return ToHex(bytes.data(), bytes.size());
}

}  // namespace kovra_test
