// Texts of the DESFire card status codes (0x10000 + status) and of the DESFire layer's own codes.
#pragma once

namespace kovra::desfire {

// The text of a code 0x10000..0x1FFFF in a language (1 = German, any other value = English),
// UTF-8; the empty text for a code without a row.
const char *GetDesfireErrorText(int code, int language);

}  // namespace kovra::desfire
