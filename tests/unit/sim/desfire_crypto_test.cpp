// The simulated DESFire card's CRC32 and CMAC, and the test reader's own versions of them, on
// published known answers.
#include <gtest/gtest.h>

#include <string>

#include "sim/desfire/desfire_crypto.h"
#include "unit/reader/hex.h"
#include "unit/sim/desfire_pcd.h"

namespace {

using kovra_sim::CipherKind;
using kovra_test::Hex;

struct CrcCase {
  const char *id;
  const char *data;
  uint32_t crc;
};

// CRC-32 reflected 0xEDB88320, init FFFFFFFF, no final inversion (CRC-32/JAMCRC). Sources: the
// reveng CRC catalogue check value (CRC32DF-check); the "DESFire EV1 Communication Examples" page
// in sotechcllc/RFDoorLock (ChangeKey rows); stackoverflow.com/a/23704425 (WriteData row);
// RfidResearchGroup/proxmark3 client/src/mifare/desfiretest.c (GetCardUID row); the rest computed
// as zlib.crc32 ^ 0xFFFFFFFF.
const CrcCase kCrcCases[] = {
    {"empty", "", 0xFFFFFFFF},
    {"00", "00", 0x2DFD1072},
    {"check", "31 32 33 34 35 36 37 38 39", 0x340BC6D9},
    {"ChangeKey AES same", "C4 00 00 10 20 30 40 50 60 70 80 90 A0 B0 B0 A0 90 80 10", 0x6BE6C6D2},
    {"ChangeKey AES other", "C4 01 00 10 20 30 40 50 60 70 80 90 A0 B0 B0 A0 90 80 10", 0x84B47033},
    {"WriteData", "3D 00 00 00 00 10 00 00 23 00 00 00 00 00 00 08 12 34 56 78 00 00 00 00",
     0x0007D230},
    {"GetCardUID", "04 44 0F 32 76 31 80 00", 0xD41ACE99},
};

TEST(SimDesfireCryptoTest, Crc32MatchesPublishedValues) {
  for (const CrcCase &c : kCrcCases) {
    EXPECT_EQ(kovra_sim::DesfireCrc32(Hex(c.data)), c.crc) << c.id;
    EXPECT_EQ(desfire_test::Crc32(Hex(c.data)), c.crc) << c.id << " (test reader)";
  }
  EXPECT_EQ(kovra_sim::Crc32Bytes(0x0007D230), Hex("30 D2 07 00"));
}

constexpr const char *kNistMessage =
    "6BC1BEE22E409F96E93D7E117393172AAE2D8A571E03AC9C9EB76FAC45AF8E5130C81C46A35CE411E5FBC1191A0A"
    "52EFF69F2445DF4F9B17AD2B417BE66C3710";

struct CmacCase {
  const char *id;
  CipherKind kind;
  const char *key;
  size_t message_length;  // the first bytes of the NIST example message
  const char *mac;
};

// NIST SP 800-38B examples as printed in Mbed-TLS/mbedtls library/cmac.c and
// Legrandin/pycryptodome lib/Crypto/SelfTest/Hash/test_CMAC.py; the single-DES rows from
// RfidResearchGroup/proxmark3 client/src/mifare/desfiretest.c.
const CmacCase kCmacCases[] = {
    {"AES M0", CipherKind::kAes, "2B7E151628AED2A6ABF7158809CF4F3C", 0,
     "BB1D6929E95937287FA37D129B756746"},
    {"AES M16", CipherKind::kAes, "2B7E151628AED2A6ABF7158809CF4F3C", 16,
     "070A16B46B4D4144F79BDD9DD04A287C"},
    {"AES M40", CipherKind::kAes, "2B7E151628AED2A6ABF7158809CF4F3C", 40,
     "DFA66747DE9AE63030CA32611497C827"},
    {"AES M64", CipherKind::kAes, "2B7E151628AED2A6ABF7158809CF4F3C", 64,
     "51F0BEBF7E3B9D92FC49741779363CFE"},
    {"TDES2 M0", CipherKind::kTdes, "0123456789ABCDEF23456789ABCDEF01", 0, "79CE52A7F786A960"},
    {"TDES2 M20", CipherKind::kTdes, "0123456789ABCDEF23456789ABCDEF01", 20, "C06D377ECD101969"},
    {"TDES2 Ex18", CipherKind::kTdes, "4CF15134A2850DD58A3D10BA80570D38", 8, "4FF2AB813C53CE83"},
    {"TDES3 M32", CipherKind::kTdes, "0123456789ABCDEF23456789ABCDEF01456789ABCDEF0123", 32,
     "99429BD0BF7904E5"},
    {"DES M0", CipherKind::kTdes, "0123456789ABCDEF", 0, "86F79C13FD306E67"},
    {"DES M20", CipherKind::kTdes, "0123456789ABCDEF", 20, "3E2F8310C569275E"},
};

TEST(SimDesfireCryptoTest, CmacMatchesPublishedValuesFromAZeroChain) {
  const kovra_sim::Bytes message = Hex(kNistMessage);
  for (const CmacCase &c : kCmacCases) {
    const kovra_sim::Bytes key = Hex(c.key);
    const kovra_sim::Bytes data(message.begin(), message.begin() + c.message_length);
    kovra_sim::Bytes iv(kovra_sim::BlockSize(c.kind), 0);
    const kovra_sim::Bytes mac =
        kovra_sim::Cmac(c.kind, key, kovra_sim::DeriveCmacSubkeys(c.kind, key), iv, data);
    EXPECT_EQ(kovra_test::ToHex(mac), kovra_test::ToHex(Hex(c.mac))) << c.id;
    EXPECT_EQ(iv, mac) << c.id << ": the chain moves on to the CMAC";

    kovra_sim::Bytes pcd_iv(iv.size(), 0);
    const auto cipher =
        c.kind == CipherKind::kAes ? desfire_test::Cipher::kAes : desfire_test::Cipher::k3des;
    EXPECT_EQ(desfire_test::ChainedCmac(cipher, key, pcd_iv, data), Hex(c.mac))
        << c.id << " (test reader)";
  }
}

TEST(SimDesfireCryptoTest, CmacSubkeysUseRbOfTheBlockSize) {
  // NIST examples as in mbedtls library/cmac.c: Rb 0x87 for AES, 0x1B for 8-byte blocks.
  const auto aes =
      kovra_sim::DeriveCmacSubkeys(CipherKind::kAes, Hex("2B7E151628AED2A6ABF7158809CF4F3C"));
  EXPECT_EQ(aes.k1, Hex("FBEED618357133667C85E08F7236A8DE"));
  EXPECT_EQ(aes.k2, Hex("F7DDAC306AE266CCF90BC11EE46D513B"));
  const auto tdes =
      kovra_sim::DeriveCmacSubkeys(CipherKind::kTdes, Hex("0123456789ABCDEF23456789ABCDEF01"));
  EXPECT_EQ(tdes.k1, Hex("0DD2CB7A3D8888D9"));
  EXPECT_EQ(tdes.k2, Hex("1BA596F47B1111B2"));
}

}  // namespace
