// The texts of every code the library stores as a last error.
#include "api/library_error_text.h"

#include "desfire/status_texts.h"
#include "reader/error_texts.h"

namespace kovra {

std::string LibraryErrorText(int code, int language) {
  static constexpr ErrorTextRange kLayerTexts[] = {
      {desfire::kFirstStatusCode, desfire::kLastStatusCode, desfire::GetDesfireErrorText},
  };
  return ErrorText(code, language, kLayerTexts);
}

}  // namespace kovra
