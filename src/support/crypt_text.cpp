// Obfuscation of key texts in settings and job files.
#include "support/crypt_text.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "support/base64.h"

namespace quillmate {
namespace {

constexpr size_t kBlockSize = 16;

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// Runs AES-128-CBC with a zero IV and PKCS#7 padding over `input` in one pass. False when the
// library refuses, or, deciphering, when the length or the padding does not check.
bool RunCipher(const std::array<uint8_t, 16> &key, bool encrypt, const uint8_t *input,
               size_t length, std::vector<uint8_t> &output) {
  if (length > static_cast<size_t>(INT32_MAX) - kBlockSize) return false;
  CipherContext context(EVP_CIPHER_CTX_new());
  if (!context) return false;
  const std::array<uint8_t, kBlockSize> zero_iv{};
  if (EVP_CipherInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, key.data(), zero_iv.data(),
                        encrypt ? 1 : 0) != 1) {
    return false;
  }
  output.assign(length + kBlockSize, 0);
  int written = 0;
  if (EVP_CipherUpdate(context.get(), output.data(), &written, input, static_cast<int>(length)) !=
      1) {
    return false;
  }
  int final_written = 0;
  if (EVP_CipherFinal_ex(context.get(), output.data() + written, &final_written) != 1) {
    OPENSSL_cleanse(output.data(), output.size());
    return false;
  }
  output.resize(static_cast<size_t>(written) + static_cast<size_t>(final_written));
  return true;
}

}  // namespace

CCryptText::CCryptText(const char *pass_phrase) {
  if (pass_phrase == nullptr) return;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digest_length = 0;
  if (EVP_Digest(pass_phrase, std::strlen(pass_phrase), digest, &digest_length, EVP_sha256(),
                 nullptr) != 1 ||
      digest_length < key_.size()) {
    return;
  }
  std::memcpy(key_.data(), digest, key_.size());
  OPENSSL_cleanse(digest, sizeof digest);
  has_key_ = true;
}

CCryptText::~CCryptText() {
  OPENSSL_cleanse(key_.data(), key_.size());
}

std::string CCryptText::EncryptText(std::string_view text) const {
  if (text.empty() || !has_key_) return {};
  std::vector<uint8_t> cipher;
  if (!RunCipher(key_, true, reinterpret_cast<const uint8_t *>(text.data()), text.size(), cipher)) {
    return {};
  }
  return EncodeBase64(cipher);
}

std::string CCryptText::DecryptText(std::string_view stored) const {
  if (stored.empty() || !has_key_) return {};
  const auto cipher = DecodeBase64(stored);
  if (!cipher || cipher->empty() || cipher->size() % kBlockSize != 0) return {};
  std::vector<uint8_t> plain;
  if (!RunCipher(key_, false, cipher->data(), cipher->size(), plain)) return {};
  std::string text(plain.begin(), plain.end());
  OPENSSL_cleanse(plain.data(), plain.size());
  return text;
}

}  // namespace quillmate
