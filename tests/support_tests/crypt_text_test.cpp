// Stored-key obfuscation: the stored form must match other installations byte for byte, and no
// stored text, however damaged, may do more than load as the empty text.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <string>
#include <vector>

#include "support/base64.h"
#include "support/crypt_text.h"

namespace quillmate {
namespace {

// Enciphers whole blocks under the program's key without adding padding, so a test can store a
// last block whose padding is wrong in a chosen way.
std::string StoreRawBlocks(const std::vector<uint8_t> &plain) {
  std::array<uint8_t, 32> digest{};
  unsigned int digest_length = 0;
  EVP_Digest(kStoredKeyObfuscationPhrase, sizeof kStoredKeyObfuscationPhrase - 1, digest.data(),
             &digest_length, EVP_sha256(), nullptr);
  const std::array<uint8_t, 16> zero_iv{};
  EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(context, EVP_aes_128_cbc(), nullptr, digest.data(), zero_iv.data());
  EVP_CIPHER_CTX_set_padding(context, 0);
  std::vector<uint8_t> cipher(plain.size());
  int written = 0;
  EVP_EncryptUpdate(context, cipher.data(), &written, plain.data(), static_cast<int>(plain.size()));
  EVP_CIPHER_CTX_free(context);
  return EncodeBase64(cipher);
}

TEST(CryptText, KnownAnswerBothWays) {
  const CCryptText crypt(kStoredKeyObfuscationPhrase);
  ASSERT_TRUE(crypt.HasKey());
  EXPECT_EQ(crypt.EncryptText("0123456789ABCDEF"), "X1Y0OV38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c4k=");
  EXPECT_EQ(crypt.DecryptText("X1Y0OV38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c4k="), "0123456789ABCDEF");
  // Line breaks and spaces a hand-edited file may add do not spoil the stored text.
  EXPECT_EQ(crypt.DecryptText("X1Y0OV38j+v5tdTX\r\nX1yyDjYtMsD7DvxZ XSoDAsE7c4k= "),
            "0123456789ABCDEF");
}

TEST(CryptText, RoundTripsWithTheCipherLengthsOfTheStoredForm) {
  struct Case {
    std::string text;
    size_t cipher_bytes;
  };
  const Case cases[] = {
      {"A", 16},
      {"0123456789ABCDE", 16},
      {"0123456789ABCDEF", 32},
      {"00112233445566778899AABBCCDDEEFF", 48},  // a 32-digit key: 64 Base64 characters
      {std::string("nul\0inside", 10), 16},
      {"Schl\xC3\xBCssel \xE2\x82\xAC", 16},
      {std::string(100, 'x'), 112},
  };
  const CCryptText crypt(kStoredKeyObfuscationPhrase);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    const std::string stored = crypt.EncryptText(c.text);
    EXPECT_EQ(stored.size(), (c.cipher_bytes + 2) / 3 * 4);
    EXPECT_EQ(stored.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(crypt.EncryptText(c.text), stored);  // no random IV: the same text, the same form
    EXPECT_EQ(crypt.DecryptText(stored), c.text);
    EXPECT_EQ(CCryptText(kStoredKeyObfuscationPhrase).DecryptText(stored), c.text);
  }
  EXPECT_EQ(crypt.EncryptText(""), "");
  EXPECT_EQ(crypt.DecryptText(""), "");
}

TEST(CryptText, DamagedOrForeignStoredTextsLoadAsEmpty) {
  std::vector<uint8_t> zero_padding(16, 'k');
  zero_padding[15] = 0x00;
  std::vector<uint8_t> padding_too_long(16, 'k');
  padding_too_long[15] = 0x11;
  std::vector<uint8_t> padding_inconsistent(32, 'k');
  padding_inconsistent[30] = 0x03;  // ...03 02: says two bytes of 02, has 03 02
  padding_inconsistent[31] = 0x02;
  const std::string foreign = CCryptText("another phrase").EncryptText("0123456789ABCDEF");

  struct Case {
    const char *why;
    std::string stored;
  };
  const Case cases[] = {
      {"outside the alphabet", "X1Y0OV38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c4k!"},
      {"non-ASCII byte", "X1Y0OV38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c4\xC3\xA4"},
      {"missing padding", "X1Y0OV38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c4k"},
      {"padding in the middle", "X1Y0=V38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c4k="},
      {"three padding characters", "X1Y0OV38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c==="},
      {"only padding", "===="},
      {"only white space", " \r\n"},
      {"12 bytes, no whole block", "X1Y0OV38j+v5tdTX"},
      {"20 bytes, no whole block", "X1Y0OV38j+v5tdTXX1yyDjYtMsA="},
      {"padding byte 0", StoreRawBlocks(zero_padding)},
      {"padding longer than a block", StoreRawBlocks(padding_too_long)},
      {"padding bytes that disagree", StoreRawBlocks(padding_inconsistent)},
      {"another pass phrase", foreign},
  };
  const CCryptText crypt(kStoredKeyObfuscationPhrase);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(crypt.DecryptText(c.stored), "");
  }
}

TEST(CryptText, WithoutAKeyEverythingIsEmpty) {
  const CCryptText crypt(nullptr);
  EXPECT_FALSE(crypt.HasKey());
  EXPECT_EQ(crypt.EncryptText("0123456789ABCDEF"), "");
  EXPECT_EQ(crypt.DecryptText("X1Y0OV38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c4k="), "");
}

}  // namespace
}  // namespace quillmate
