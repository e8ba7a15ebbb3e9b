// Texts of the library's error codes in German and English.
#pragma once

#include <string>

namespace kovra {

// The text of a last-error code in a language (1 = German, any other value = English), UTF-8.
// Code 0 is the success text, codes 1..254 the reader's texts, codes 0x10000..0x1FFFF the DESFire
// texts. A code without a text (also negative codes and codes above 0x1FFFF) reads
// "Unknown error #" / "Unbekannter Fehler #" followed by bits 8..15 of the code, only when they are
// not 0, and bits 0..7, each as two uppercase hex digits: 17 -> "#11", 0x1234 -> "#1234",
// 0x10001 -> "#01". Never empty.
std::string ErrorText(int code, int language);

}  // namespace kovra
