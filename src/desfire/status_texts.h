// Texts of the DESFire card status codes (0x10000 + status) and of the DESFire layer's own codes.
#pragma once

#include "kovra.h"

namespace kovra::desfire {

// The codes of the DESFire layer: every card status and the layer's own checks.
constexpr int kFirstStatusCode = KOVRA_DESFIRE_BASE;
constexpr int kLastStatusCode = 0x1FFFF;

// The text of a code kFirstStatusCode..kLastStatusCode in a language (1 = German, any other value
// = English), UTF-8; the empty text for a code without a row.
const char *GetDesfireErrorText(int code, int language);

}  // namespace kovra::desfire
