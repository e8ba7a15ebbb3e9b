// Texts of the library's error codes in German and English.
#pragma once

#include <span>
#include <string>

namespace kovra {

// The texts of a range of codes kept by a layer above the reader (the DESFire statuses, say),
// which the layer that composes the library hands to ErrorText.
struct ErrorTextRange {
  int first;
  int last;
  // The text of a code in [first, last] in a language, UTF-8; null or "" when it has none.
  const char *(*text)(int code, int language);
};

// The text of a last-error code in a language (1 = German, any other value = English), UTF-8.
// Code 0 is the success text, codes 1..254 the reader's texts; a code inside one of `ranges`
// takes that range's text (the first range that holds it decides). A code without a text (also
// negative codes and codes above 0xFFFF outside the ranges) reads "Unknown error #" /
// "Unbekannter Fehler #" followed by bits 8..15 of the code, only when they are not 0, and bits
// 0..7, each as two uppercase hex digits: 17 -> "#11", 0x1234 -> "#1234", 0x10001 -> "#01".
// Never empty.
std::string ErrorText(int code, int language, std::span<const ErrorTextRange> ranges = {});

}  // namespace kovra
