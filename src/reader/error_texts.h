// Texts of the library's error codes in German and English.
#pragma once

#include <string>

namespace kovra {

// The text of a last-error code in a language (1 = German, any other value = English), UTF-8.
// Codes 0x10000..0x1FFFF take the DESFire texts; a code without a text gets
// "Unknown error #" / "Unbekannter Fehler #" with its low bytes in hex. Never empty.
std::string ErrorText(int code, int language);

}  // namespace kovra
