// Stored key texts as they come from settings and job files: any bytes. Decoding must never
// crash, and any text must come back unchanged from its stored form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/crypt_text.h"

using namespace quillmate;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const CCryptText crypt(kStoredKeyObfuscationPhrase);
  const std::string_view input(reinterpret_cast<const char *>(data), size);

  crypt.DecryptText(input);

  const std::string stored = crypt.EncryptText(input);
  if (!input.empty() && stored.size() != (size / 16 * 16 + 16 + 2) / 3 * 4) std::abort();
  if (crypt.DecryptText(stored) != input) std::abort();
  return 0;
}
