// Obfuscation of key texts in settings and job files: the text is enciphered with AES-128-CBC and
// stored as Base64, so that no key can be read off a file at a glance. This is obfuscation, not
// protection: the pass phrase is in the program and the IV is zero, so anyone with the file and
// this program's source (one openssl command) gets the keys back. What keeps a key secret is the
// file's mode: settings and job files are created 0600, their owner's alone.
//
// The stored form is fixed, because files written by one installation must load in another and
// every existing settings and job file holds it:
// key = the first 16 bytes of SHA-256 over the pass phrase's bytes, IV = 16 zero bytes (the chain
// restarts with every text), PKCS#7 padding, standard Base64 with "=" padding and no line breaks.
// The same text therefore always gives the same stored text. The empty text is stored as itself.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmate {

// The pass phrase every settings and job file of this program is obfuscated with. It is no secret:
// it is part of the stored form.
inline constexpr char kStoredKeyObfuscationPhrase[] = "Pin8Cardmix3HoldWord";

class CCryptText {
 public:
  // Derives the key from `pass_phrase` (its bytes without the terminating NUL). When the
  // cryptographic library fails, the object has no key and every call below yields "".
  explicit CCryptText(const char *pass_phrase);
  ~CCryptText();
  CCryptText(const CCryptText &) = delete;
  CCryptText &operator=(const CCryptText &) = delete;

  // True when the key was derived.
  bool HasKey() const { return has_key_; }

  // The stored form of `text` (its bytes, any content): "" for "", otherwise the Base64 text of the
  // ciphertext, whose length is the text's rounded up to the next multiple of 16 (a whole extra
  // block when it already is one). "" when there is no key or the cipher fails.
  std::string EncryptText(std::string_view text) const;

  // The text back from its stored form: "" for "", and also "" when `stored` is not Base64, its
  // bytes are not a non-empty multiple of 16, or the padding does not check (another pass phrase,
  // a damaged file). Never fails otherwise; no error is reported beyond the empty result. Rarely a
  // text stored with another pass phrase has padding that happens to check and gives wrong bytes.
  std::string DecryptText(std::string_view stored) const;

 private:
  std::array<uint8_t, 16> key_{};
  bool has_key_ = false;
};

}  // namespace quillmate
