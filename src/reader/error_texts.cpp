#include "reader/error_texts.h"

namespace kovra {
std::string ErrorText(int code, int) { return "Unknown error #" + std::to_string(code); }
}  // namespace kovra
