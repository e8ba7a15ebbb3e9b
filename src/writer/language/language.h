// The program's language, as the settings' "Sprache" stores it. The core turns it into the
// reader library's language argument in one place (LibraryLanguage), whose numbering differs.
#pragma once

#include "kovra.h"

namespace quillmate {

enum class Language { kGerman = 0, kEnglish = 1 };

// "Sprache" as stored: 1 is English, every other value German (the program's own language).
inline Language LanguageFromSetting(int stored) {
  return stored == static_cast<int>(Language::kEnglish) ? Language::kEnglish : Language::kGerman;
}

inline int LanguageSetting(Language language) {
  return static_cast<int>(language);
}

// The language argument of KOVRA_GetErrorText.
inline int LibraryLanguage(Language language) {
  return language == Language::kEnglish ? KOVRA_LANG_ENGLISH : KOVRA_LANG_GERMAN;
}

}  // namespace quillmate
