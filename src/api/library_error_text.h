// The texts of every code the library stores as a last error: the reader's table with the
// DESFire layer's texts for its range.
#pragma once

#include <string>

namespace kovra {

// ErrorText (reader/error_texts.h) with the DESFire texts for codes 0x10000..0x1FFFF: the text in
// a language (1 = German, any other value = English), UTF-8, never empty.
std::string LibraryErrorText(int code, int language);

}  // namespace kovra
