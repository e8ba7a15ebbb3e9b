// CRC32 and CMAC of the secure channel on published vectors, and the payload length rules.
#include <gtest/gtest.h>

#include <cstring>

#include "desfire/cmac.h"
#include "desfire/crc32.h"
#include "desfire/df8crypt.h"
#include "desfire/session.h"
#include "unit/reader/hex.h"

namespace kovra::desfire {
namespace {

using kovra_test::Hex;
using kovra_test::ToHex;

// The reveng CRC catalogue's CRC-32/JAMCRC check value, and CRCs of DESFire frames.
TEST(DesfireCrc32, KnownAnswers) {
  const struct {
    const char *id;
    const char *data;
    uint32_t crc;
  } cases[] = {
      {"CRC32DF-empty", "", 0xFFFFFFFF},
      {"CRC32DF-00", "00", 0x2DFD1072},
      {"CRC32DF-check", "31 32 33 34 35 36 37 38 39", 0x340BC6D9},
      {"CRC32DF-ChangeKey-AES-same", "C40000102030405060708090A0B0B0A0908010", 0x6BE6C6D2},
      {"CRC32DF-NewKey-AES", "00102030405060708090A0B0B0A09080", 0x1979E3BF},
      {"CRC32DF-WriteData-SO", "3D0000000010000023000000000000081234567800000000", 0x0007D230},
  };
  for (const auto &c : cases) {
    const auto bytes = Hex(c.data);
    EXPECT_EQ(Crc32(bytes.data(), bytes.size()), c.crc) << c.id;
  }
  CMyByteArray array(Hex("00"));
  EXPECT_EQ(Crc32OfArray(array, 2), 0u);  // fewer bytes than asked
  AppendCrc32(array, 0x2DFD1072);
  EXPECT_EQ(ToHex(array.Bytes()), "00 72 10 FD 2D");
}

// A context whose session key is `key` (16 bytes; an 8-byte DES key is doubled).
void SetSession(DF8Crypt &context, uint8_t cipher, const std::vector<uint8_t> &key) {
  context.Init(cipher);
  std::vector<uint8_t> full = key;
  if (full.size() == 8) full.insert(full.end(), key.begin(), key.end());
  std::memcpy(context.SessionKey(), full.data(), 16);
  GenerateCmacSubkeys(context);
}

// NIST SP 800-38B subkeys, as the NIST examples give them (quoted in mbedtls library/cmac.c).
TEST(DesfireCmac, SubkeysFromTheSessionKey) {
  DF8Crypt context;
  SetSession(context, CipherAES, Hex("2B7E151628AED2A6ABF7158809CF4F3C"));  // CMAC-AES128-subkeys
  EXPECT_EQ(ToHex(context.SubkeyK1(), 16), ToHex(Hex("FBEED618357133667C85E08F7236A8DE")));
  EXPECT_EQ(ToHex(context.SubkeyK2(), 16), ToHex(Hex("F7DDAC306AE266CCF90BC11EE46D513B")));
  SetSession(context, CipherTDES, Hex("0123456789ABCDEF23456789ABCDEF01"));  // CMAC-TDES2-subkeys
  EXPECT_EQ(ToHex(context.SubkeyK1(), 8), ToHex(Hex("0DD2CB7A3D8888D9")));
  EXPECT_EQ(ToHex(context.SubkeyK2(), 8), ToHex(Hex("1BA596F47B1111B2")));
  EXPECT_EQ(ToHex(context.IV(), 16), ToHex(std::vector<uint8_t>(16, 0)));  // chain kept
}

// AES from NIST AES_CMAC.pdf / RFC 4493, two-key TDES from NIST
// TDES_CMAC.pdf and SP 800-38B D.7, DES from the proxmark3 self-test.
TEST(DesfireCmac, KnownAnswersFromAZeroChain) {
  const struct {
    const char *id;
    uint8_t cipher;
    const char *key;
    const char *message;
    const char *cmac;
  } cases[] = {
      {"CMAC-AES128-M0", CipherAES, "2B7E151628AED2A6ABF7158809CF4F3C", "",
       "BB1D6929E95937287FA37D129B756746"},
      {"CMAC-AES128-M16", CipherAES, "2B7E151628AED2A6ABF7158809CF4F3C",
       "6BC1BEE22E409F96E93D7E117393172A", "070A16B46B4D4144F79BDD9DD04A287C"},
      {"CMAC-AES128-M20", CipherAES, "2B7E151628AED2A6ABF7158809CF4F3C",
       "6BC1BEE22E409F96E93D7E117393172AAE2D8A57", "7D85449EA6EA19C823A7BF78837DFADE"},
      {"CMAC-AES128-M40", CipherAES, "2B7E151628AED2A6ABF7158809CF4F3C",
       "6BC1BEE22E409F96E93D7E117393172AAE2D8A571E03AC9C9EB76FAC45AF8E5130C81C46A35CE411",
       "DFA66747DE9AE63030CA32611497C827"},
      {"CMAC-TDES2-M0", CipherTDES, "0123456789ABCDEF23456789ABCDEF01", "", "79CE52A7F786A960"},
      {"CMAC-TDES2-M20", CipherTDES, "0123456789ABCDEF23456789ABCDEF01",
       "6BC1BEE22E409F96E93D7E117393172AAE2D8A57", "C06D377ECD101969"},
      {"CMAC-TDES2-SP800-38B-D7-Ex20", CipherTDES, "4CF15134A2850DD58A3D10BA80570D38",
       "6BC1BEE22E409F96E93D7E117393172AAE2D8A571E03AC9C9EB76FAC45AF8E51", "31B1E431DABC4EB8"},
      {"CMAC-DES-M16", CipherTDES, "0123456789ABCDEF", "6BC1BEE22E409F96E93D7E117393172A",
       "BEA4212292462A85"},
  };
  for (const auto &c : cases) {
    DF8Crypt context;
    SetSession(context, c.cipher, Hex(c.key));
    const auto message = Hex(c.message);
    uint8_t mac[kMacLength];
    ASSERT_TRUE(ComputeCmac(context, false, message.data(), message.size(), mac)) << c.id;
    const auto expected = Hex(c.cmac);
    EXPECT_EQ(ToHex(context.IV(), expected.size()), ToHex(expected)) << c.id;
    EXPECT_EQ(ToHex(mac, kMacLength), ToHex(expected.data(), kMacLength)) << c.id;
  }
}

TEST(DesfireCmac, ResponseMacCoversDataThenStatusAndChainsOn) {
  DF8Crypt sender, receiver;
  const auto key = Hex("00112233445566778899AABBCCDDEEFF");
  SetSession(sender, CipherAES, key);
  SetSession(receiver, CipherAES, key);
  // The card computes its MAC over data followed by the status byte.
  const auto data_then_status = Hex("01 02 03 00");
  uint8_t mac[kMacLength];
  ComputeCmac(sender, false, data_then_status.data(), data_then_status.size(), mac);
  std::vector<uint8_t> response = Hex("00 01 02 03");
  response.insert(response.end(), mac, mac + kMacLength);
  EXPECT_TRUE(VerifyTrailingMac(receiver, response.data(), response.size()));
  // Both ends moved on together: the same response again does not verify.
  EXPECT_FALSE(VerifyTrailingMac(receiver, response.data(), response.size()));
  EXPECT_FALSE(VerifyTrailingMac(receiver, response.data(), kMacLength));  // too short
}

}  // namespace
}  // namespace kovra::desfire

namespace kovra::desfire {
namespace {

std::vector<uint8_t> Deciphered(const std::string &payload_hex, const std::string &padding_hex) {
  std::vector<uint8_t> bytes = kovra_test::Hex(payload_hex);
  std::vector<uint8_t> covered = bytes;
  covered.push_back(0x00);
  const uint32_t crc = Crc32(covered.data(), covered.size());
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(crc >> shift));
  const auto padding = kovra_test::Hex(padding_hex);
  bytes.insert(bytes.end(), padding.begin(), padding.end());
  return bytes;
}

// The end of an enciphered whole-file answer: real cards pad with zeros, some with 0x80 first;
// a payload that itself ends in zeros must not be cut.
TEST(DesfirePayload, EncipheredWholeFileLength) {
  const struct {
    std::vector<uint8_t> data;
    size_t block;
    std::optional<size_t> payload;
  } cases[] = {
      {Deciphered("12 34", "00 00"), 8, 2},
      {Deciphered("12 34", "80 00"), 8, 2},
      {Deciphered("12 34 00 00", "00 00 00 00 00 00 00 00"), 16, 4},
      {Deciphered("12 34 56 78 9A BC 00 00 00 00 00 00", ""), 16, 12},
      {Deciphered("", "00 00 00 00"), 8, 0},
      {kovra_test::Hex("12 34 00 00 00 00 00 00"), 8, std::nullopt},  // no CRC fits
      {Deciphered("12 34", "00 00 11"), 8, std::nullopt},             // not padding
  };
  for (const auto &c : cases) {
    EXPECT_EQ(EncipheredPayloadLength(c.data.data(), c.data.size(), c.block), c.payload)
        << kovra_test::ToHex(c.data);
  }
}

}  // namespace
}  // namespace kovra::desfire
