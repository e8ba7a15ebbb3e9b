// Keys derived per card: the published examples of the CMAC-based method, and random inputs
// against OpenSSL's CMAC, computed apart from the program's own ciphers.
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "desfire/des.h"
#include "desfire/df8crypt.h"
#include "desfire/key_diversification.h"
#include "unit/reader/hex.h"

namespace kovra::desfire {
namespace {

using kovra_test::Hex;
using kovra_test::ToHex;
using Type = DiversifiedKeyType;

std::vector<uint8_t> Ascii(const std::string &text) {
  return {text.begin(), text.end()};
}

std::vector<uint8_t> Derive(Type type, const std::vector<uint8_t> &master,
                            const std::vector<uint8_t> &input) {
  std::vector<uint8_t> derived(DiversifiedKeyLength(type));
  EXPECT_TRUE(DiversifyKey(type, master, input, derived.data()));
  return derived;
}

TEST(KeyDiversification, PublishedExamples) {
  struct Example {
    const char *id;
    Type type;
    const char *master;
    std::vector<uint8_t> input;
    const char *raw;      // the CMAC output
    const char *derived;  // as the card stores it (DES-based keys: with the master's version)
  };
  const std::vector<uint8_t> uid = Hex("04782E21801D80");
  const std::vector<uint8_t> aid = Hex("3042F5");
  const std::span<const uint8_t, 3> aid3(aid.data(), 3);
  const Example examples[] = {
      {"AN10922-2.2.1-AES128", Type::kAes128, "00112233445566778899AABBCCDDEEFF",
       DiversificationInput(uid, aid3, Ascii("NXP Abu")), "A8DD63A3B89D54B37CA802473FDA9175",
       "A8DD63A3B89D54B37CA802473FDA9175"},
      // The input and its constant are shorter than one block: padded to two all the same.
      {"AN10957-AES128-short", Type::kAes128, "F3F9377698707B688EAF84ABE39E3791",
       Hex("04DEADBEEFFEED"), "0BB408BAFF98B6EE9F2E1585777F6A51",
       "0BB408BAFF98B6EE9F2E1585777F6A51"},
      {"AN10922-2.4.1-2K3DES", Type::kTwoKeyTdes, "00112233445566778899AABBCCDDEEFF",
       DiversificationInput(uid, aid3, Ascii("NXP A")), "16F8597C9E8910C86B9648D006107DD7",
       "16F9587D9E8910C96B9649D007107DD6"},
      {"AN10922-2.5.1-3K3DES", Type::kThreeKeyTdes,
       "00112233445566778899AABBCCDDEEFF0102030405060708",
       DiversificationInput(uid, aid3, Ascii("NXP")),
       "2F0DD03675D3FB9A5705AB0BDA91CA0B55B8E07FCDBF10EC",
       "2E0DD03774D3FA9B5705AB0BDA91CA0B55B8E07FCDBF10EC"},
  };
  for (const Example &e : examples) {
    SCOPED_TRACE(e.id);
    const std::vector<uint8_t> master = Hex(e.master);
    std::vector<uint8_t> key = Derive(e.type, master, e.input);
    EXPECT_EQ(ToHex(key), ToHex(Hex(e.raw)));
    CarryKeyVersion(e.type, master, key.data());
    EXPECT_EQ(ToHex(key), ToHex(Hex(e.derived)));
  }
  EXPECT_EQ(ToHex(DiversificationInput(uid, aid3, Ascii("NXP Abu"))),
            ToHex(Hex("04782E21801D803042F54E585020416275")));
}

// OpenSSL's CMAC of `message` under `key` with `cipher` (an OpenSSL cipher name).
std::vector<uint8_t> OpensslCmac(const char *cipher, const std::vector<uint8_t> &key,
                                 const std::vector<uint8_t> &message) {
  EVP_MAC *mac = EVP_MAC_fetch(nullptr, "CMAC", nullptr);
  EVP_MAC_CTX *context = EVP_MAC_CTX_new(mac);
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_CIPHER, const_cast<char *>(cipher), 0),
      OSSL_PARAM_construct_end()};
  std::vector<uint8_t> out(16);
  size_t length = 0;
  const bool ok = EVP_MAC_init(context, key.data(), key.size(), params) == 1 &&
                  EVP_MAC_update(context, message.data(), message.size()) == 1 &&
                  EVP_MAC_final(context, out.data(), &length, out.size()) == 1;
  EVP_MAC_CTX_free(context);
  EVP_MAC_free(mac);
  EXPECT_TRUE(ok) << cipher;
  out.resize(length);
  return out;
}

// For an input that makes the constant and the input longer than one block, the derived key is the
// plain CMAC of constant || input (one per constant, joined): that is what OpenSSL computes here.
TEST(KeyDiversification, RandomInputsAgreeWithOpensslCmac) {
  struct Kind {
    Type type;
    const char *cipher;
    std::vector<uint8_t> constants;
    size_t block;
  };
  const Kind kinds[] = {
      {Type::kAes128, "AES-128-CBC", {0x01}, 16},
      {Type::kTwoKeyTdes, "DES-EDE-CBC", {0x21, 0x22}, 8},
      {Type::kThreeKeyTdes, "DES-EDE3-CBC", {0x31, 0x32, 0x33}, 8},
  };
  std::mt19937 random(20261211);
  for (const Kind &kind : kinds) {
    SCOPED_TRACE(kind.cipher);
    for (int round = 0; round < 100; ++round) {
      std::vector<uint8_t> master(DiversifiedKeyLength(kind.type));
      for (uint8_t &byte : master) byte = static_cast<uint8_t>(random());
      const size_t shortest = kind.block;  // constant + input: more than one block
      const size_t length =
          shortest + random() % (MaxDiversificationInput(kind.type) - shortest + 1);
      std::vector<uint8_t> input(length);
      for (uint8_t &byte : input) byte = static_cast<uint8_t>(random());

      std::vector<uint8_t> expected;
      for (uint8_t constant : kind.constants) {
        std::vector<uint8_t> message{constant};
        message.insert(message.end(), input.begin(), input.end());
        const std::vector<uint8_t> part = OpensslCmac(kind.cipher, master, message);
        expected.insert(expected.end(), part.begin(), part.end());
      }
      ASSERT_EQ(ToHex(Derive(kind.type, master, input)), ToHex(expected))
          << "master " << ToHex(master) << " input " << ToHex(input);
    }
  }
}

TEST(KeyDiversification, RefusesAMasterKeyOfTheWrongLengthOrTooLongAnInput) {
  struct Case {
    Type type;
    size_t master;
    size_t input;
  };
  const Case cases[] = {
      {Type::kAes128, 15, 10},       {Type::kAes128, 24, 10},     {Type::kAes128, 16, 32},
      {Type::kTwoKeyTdes, 24, 10},   {Type::kTwoKeyTdes, 16, 16}, {Type::kThreeKeyTdes, 16, 10},
      {Type::kThreeKeyTdes, 24, 16},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message()
                 << static_cast<int>(c.type) << " master " << c.master << " input " << c.input);
    std::vector<uint8_t> derived(24, 0xEE);
    EXPECT_FALSE(DiversifyKey(c.type, std::vector<uint8_t>(c.master, 0x11),
                              std::vector<uint8_t>(c.input, 0x22), derived.data()));
    EXPECT_EQ(derived, std::vector<uint8_t>(24, 0xEE));
  }
}

// Three-key triple DES in both directions against OpenSSL's DES-EDE3.
TEST(DesBlock, ThreeKeyTripleDesAgreesWithOpensslBothDirections) {
  std::mt19937 random(24);
  for (int round = 0; round < 20; ++round) {
    std::vector<uint8_t> key(24), block(8);
    for (uint8_t &byte : key) byte = static_cast<uint8_t>(random());
    for (uint8_t &byte : block) byte = static_cast<uint8_t>(random());

    std::vector<uint8_t> expected(16);
    int length = 0;
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(context, EVP_des_ede3_ecb(), nullptr, key.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(context, 0);
    EVP_EncryptUpdate(context, expected.data(), &length, block.data(), 8);
    EVP_CIPHER_CTX_free(context);
    ASSERT_EQ(length, 8);
    expected.resize(8);

    DF8Crypt crypt;
    des cipher(crypt);
    std::vector<uint8_t> enciphered(8), deciphered(8);
    cipher.Set3Key(key.data(), des::Direction::Encipher);
    ASSERT_TRUE(cipher.CryptBlock(block.data(), enciphered.data()));
    EXPECT_EQ(ToHex(enciphered), ToHex(expected));
    cipher.Set3Key(key.data(), des::Direction::Decipher);
    ASSERT_TRUE(cipher.CryptBlock(enciphered.data(), deciphered.data()));
    EXPECT_EQ(ToHex(deciphered), ToHex(block));
  }
}

}  // namespace
}  // namespace kovra::desfire
