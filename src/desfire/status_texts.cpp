#include "desfire/status_texts.h"

namespace kovra::desfire {
const char *GetDesfireErrorText(int, int) { return ""; }
}  // namespace kovra::desfire
