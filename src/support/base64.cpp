// Base64 in the standard alphabet with "=" padding, as stored keys use it.
#include "support/base64.h"

namespace quillmate {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of an alphabet character, or -1.
int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsIgnoredSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string EncodeBase64(const std::vector<uint8_t> &bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t group =
        (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    text += kAlphabet[(group >> 18) & 0x3F];
    text += kAlphabet[(group >> 12) & 0x3F];
    text += kAlphabet[(group >> 6) & 0x3F];
    text += kAlphabet[group & 0x3F];
  }
  const size_t rest = bytes.size() - i;
  if (rest == 0) return text;
  uint32_t group = uint32_t{bytes[i]} << 16;
  if (rest == 2) group |= uint32_t{bytes[i + 1]} << 8;
  text += kAlphabet[(group >> 18) & 0x3F];
  text += kAlphabet[(group >> 12) & 0x3F];
  text += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
  text += '=';
  return text;
}

std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (const char c : text) {
    if (!IsIgnoredSpace(c)) compact += c;
  }
  if (compact.size() % 4 != 0) return std::nullopt;

  size_t padding = 0;
  while (padding < 2 && padding < compact.size() && compact[compact.size() - 1 - padding] == '=') {
    ++padding;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(compact.size() / 4 * 3);
  uint32_t group = 0;
  int sextets = 0;
  for (size_t i = 0; i < compact.size() - padding; ++i) {
    const int value = SextetOf(compact[i]);
    if (value < 0) return std::nullopt;  // outside the alphabet, or "=" before the end
    group = (group << 6) | static_cast<uint32_t>(value);
    if (++sextets == 4) {
      bytes.push_back(static_cast<uint8_t>(group >> 16));
      bytes.push_back(static_cast<uint8_t>(group >> 8));
      bytes.push_back(static_cast<uint8_t>(group));
      group = 0;
      sextets = 0;
    }
  }
  // The last group carries 2 or 3 sextets before its padding: 1 or 2 further bytes.
  if (sextets == 2) {
    bytes.push_back(static_cast<uint8_t>(group >> 4));
  } else if (sextets == 3) {
    bytes.push_back(static_cast<uint8_t>(group >> 10));
    bytes.push_back(static_cast<uint8_t>(group >> 2));
  }
  return bytes;
}

}  // namespace quillmate
