// The error statuses of the simulated DESFire card, each from the situation a real card answers
// it in. Every error ends the session.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "unit/sim/desfire_bench.h"

namespace {

using desfire_test::Bench;
using desfire_test::Bytes;
using desfire_test::Cat;
using desfire_test::Cipher;
using desfire_test::kZeroKey;
using desfire_test::Le24;
using kovra_test::Hex;

constexpr uint32_t kAid = 0x112233;
const Bytes kOtherKey = Hex("5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A");

struct ErrorCase {
  const char *what;
  uint8_t status;
  // Sets the card up through `bench` and returns the status of the command under test.
  std::function<uint8_t(Bench &)> run;
};

// An AES application with 3 keys and settings `ks1`, selected, holding file 1 (16 bytes, plain,
// read key 1, write key 2, read/write none, change key 0).
void AppWithFile(Bench &b, uint8_t ks1 = 0x0F) {
  b.CreateAndSelect(kAid, true, 3, ks1);
  b.card.EditContent().Application(kAid)->files.push_back({1, std::nullopt, 0, 0x12F0, Bytes(16)});
}

uint8_t AuthenticateMaster(Bench &b) {
  return b.pcd.Authenticate(Cipher::kAes, 0, kZeroKey);
}

TEST(SimDesfireErrorsTest, TheCardAnswersTheStatusOfARealCard) {
  const ErrorCase cases[] = {
      // Authentication.
      {"wrong key", 0xAE, [](Bench &b) { return b.pcd.Authenticate(Cipher::k3des, 0, kOtherKey); }},
      {"AES authentication of a DES key", 0xAE,
       [](Bench &b) { return b.pcd.Authenticate(Cipher::kAes, 0, kZeroKey); }},
      {"second card key", 0x40, [](Bench &b) { return b.Status("1A 01"); }},
      {"key beyond the application's", 0x40,
       [](Bench &b) {
         AppWithFile(b);
         return b.Status("AA 03");
       }},
      {"GetKeyVersion of a missing key", 0x40,
       [](Bench &b) {
         AppWithFile(b);
         return b.Status("64 05");
       }},
      // Applications.
      {"missing AID", 0xA0, [](Bench &b) { return b.Status("5A 33 22 11"); }},
      {"deleting a missing AID", 0xA0,
       [](Bench &b) {
         EXPECT_EQ(b.pcd.Authenticate(Cipher::k3des, 0, kZeroKey), 0);
         return b.pcd.Run(Hex("DA 33 22 11")).status;
       }},
      {"duplicate application", 0xDE,
       [](Bench &b) {
         EXPECT_EQ(b.Status("CA 33 22 11 0F 81"), 0x00);
         return b.Status("CA 33 22 11 0F 82");
       }},
      {"duplicate ISO DF name", 0xDE,
       [](Bench &b) {
         EXPECT_EQ(b.Status("CA 01 00 00 0F A1 10 E1 41 42"), 0x00);
         return b.Status("CA 02 00 00 0F A1 11 E1 41 42");
       }},
      {"29th application", 0xCE,
       [](Bench &b) {
         for (uint32_t aid = 1; aid <= 28; ++aid) {
           EXPECT_EQ(b.card.Exchange(Cat(Cat({0xCA}, Le24(aid)), {0x0F, 0x81}))[0], 0x00) << aid;
         }
         return b.Status("CA 1D 00 00 0F 81");
       }},
      {"three-key 3DES application", 0x9E, [](Bench &b) { return b.Status("CA 33 22 11 0F 41"); }},
      {"application without keys", 0x9E, [](Bench &b) { return b.Status("CA 33 22 11 0F 80"); }},
      {"application with 15 keys", 0x9E, [](Bench &b) { return b.Status("CA 33 22 11 0F 8F"); }},
      {"create without the card key when create is not free", 0xAE,
       [](Bench &b) {
         b.card.EditContent().key_settings = 0x0B;
         return b.Status("CA 33 22 11 0F 81");
       }},
      {"list without the card key when listing is not free", 0xAE,
       [](Bench &b) {
         b.card.EditContent().key_settings = 0x0D;
         return b.Status("6A");
       }},
      {"delete without a key", 0xAE,
       [](Bench &b) {
         AppWithFile(b);
         b.Select(0);
         return b.Status("DA 33 22 11");
       }},
      {"delete another application with an application key", 0xAE,
       [](Bench &b) {
         EXPECT_EQ(b.Status("CA 44 44 44 0F 81"), 0x00);
         AppWithFile(b);
         EXPECT_EQ(AuthenticateMaster(b), 0);
         return b.pcd.Run(Hex("DA 44 44 44")).status;
       }},
      {"create an application inside one", 0x9D,
       [](Bench &b) {
         AppWithFile(b);
         return b.Status("CA 44 44 44 0F 81");
       }},
      {"format without the card key", 0xAE, [](Bench &b) { return b.Status("FC"); }},
      {"full card", 0x0E,
       [](Bench &b) {
         b.card.EditContent().total_memory = 100;
         AppWithFile(b);  // 64 bytes, plus the file's 32
         return b.pcd.Run(Hex("CD 02 00 EE EE 01 00 00")).status;
       }},
      // Files.
      {"duplicate file", 0xDE,
       [](Bench &b) {
         AppWithFile(b);
         return b.pcd.Run(Hex("CD 01 00 EE EE 10 00 00")).status;
       }},
      {"file number 32", 0x9E,
       [](Bench &b) {
         AppWithFile(b);
         return b.pcd.Run(Hex("CD 20 00 EE EE 10 00 00")).status;
       }},
      {"file without the application key", 0xAE,
       [](Bench &b) {
         AppWithFile(b, 0x0B);
         return b.pcd.Run(Hex("CD 02 00 EE EE 10 00 00")).status;
       }},
      {"file at card level", 0x9D, [](Bench &b) { return b.Status("CD 02 00 EE EE 10 00 00"); }},
      {"missing file", 0xF0,
       [](Bench &b) {
         AppWithFile(b);
         return b.Status("BD 07 00 00 00 01 00 00");
       }},
      {"file settings without listing right", 0xAE,
       [](Bench &b) {
         AppWithFile(b, 0x0D);
         return b.Status("F5 01");
       }},
      // Data.
      {"read without the read key", 0xAE,
       [](Bench &b) {
         AppWithFile(b);
         return b.Status("BD 01 00 00 00 01 00 00");
       }},
      {"read with the write key", 0xAE,
       [](Bench &b) {
         AppWithFile(b);
         EXPECT_EQ(b.pcd.Authenticate(Cipher::kAes, 2, kZeroKey), 0);
         return b.pcd.Read(1, 0, 1, 0).status;
       }},
      {"write a file nobody may write", 0x9D,
       [](Bench &b) {
         AppWithFile(b);
         b.card.EditContent().Application(kAid)->files[0].access_rights = 0xEFFE;
         return b.Status("3D 01 00 00 00 01 00 00 AA");
       }},
      {"read beyond the file", 0xBE,
       [](Bench &b) {
         AppWithFile(b, 0x0F);
         EXPECT_EQ(b.pcd.Authenticate(Cipher::kAes, 1, kZeroKey), 0);
         return b.pcd.Read(1, 8, 9, 0).status;
       }},
      {"read from the end of the file", 0xBE,
       [](Bench &b) {
         AppWithFile(b);
         EXPECT_EQ(b.pcd.Authenticate(Cipher::kAes, 1, kZeroKey), 0);
         return b.pcd.Read(1, 16, 0, 0).status;
       }},
      {"write beyond the file", 0xBE,
       [](Bench &b) {
         AppWithFile(b);
         EXPECT_EQ(b.pcd.Authenticate(Cipher::kAes, 2, kZeroKey), 0);
         return b.pcd.Write(1, 15, Hex("01 02"), 0).status;
       }},
      {"write of nothing", 0x7E,
       [](Bench &b) {
         AppWithFile(b);
         EXPECT_EQ(b.pcd.Authenticate(Cipher::kAes, 2, kZeroKey), 0);
         return b.pcd.Write(1, 0, Bytes{}, 0).status;
       }},
      {"plain write with a MAC the mode does not take", 0x7E,
       [](Bench &b) {
         AppWithFile(b);
         EXPECT_EQ(b.pcd.Authenticate(Cipher::kAes, 2, kZeroKey), 0);
         return b.pcd.Write(1, 0, Hex("01 02"), 1).status;
       }},
      // Keys.
      {"ChangeKey without a session", 0xAE,
       [](Bench &b) { return b.Status("C4 00 " + kovra_test::ToHex(Bytes(24, 0))); }},
      {"ChangeKey of a frozen key", 0x9D,
       [](Bench &b) {
         AppWithFile(b, 0xFF);
         EXPECT_EQ(AuthenticateMaster(b), 0);
         return b.pcd.ChangeKey(0x01, kOtherKey, true, 0, &kZeroKey).status;
       }},
      {"ChangeKey of an unchangeable master key", 0x9D,
       [](Bench &b) {
         AppWithFile(b, 0x0E);
         EXPECT_EQ(AuthenticateMaster(b), 0);
         return b.pcd.ChangeKey(0x00, kOtherKey, true, 0, nullptr).status;
       }},
      {"ChangeKey by a key without the change right", 0xAE,
       [](Bench &b) {
         AppWithFile(b, 0x1F);  // key 1 changes the others
         EXPECT_EQ(AuthenticateMaster(b), 0);
         return b.pcd.ChangeKey(0x02, kOtherKey, true, 0, &kZeroKey).status;
       }},
      {"ChangeKey with the wrong old key", 0x1E,
       [](Bench &b) {
         AppWithFile(b);
         EXPECT_EQ(AuthenticateMaster(b), 0);
         return b.pcd.ChangeKey(0x01, kOtherKey, true, 0, &kOtherKey).status;
       }},
      {"ChangeKey cryptogram one block short", 0x7E,
       [](Bench &b) {
         EXPECT_EQ(b.pcd.Authenticate(Cipher::k3des, 0, kZeroKey), 0);
         return b.card.Exchange(Cat({0xC4, 0x00}, b.pcd.Encipher(Bytes(16, 0))))[0];
       }},
      {"three-key 3DES card key", 0x9E,
       [](Bench &b) {
         EXPECT_EQ(b.pcd.Authenticate(Cipher::k3des, 0, kZeroKey), 0);
         return b.Status("C4 40 " + kovra_test::ToHex(Bytes(32, 0)));
       }},
      // Frames.
      {"unknown command", 0x1C, [](Bench &b) { return b.Status("54 0F"); }},
      {"AF with nothing unfinished", 0x1C, [](Bench &b) { return b.Status("AF"); }},
      {"new command during GetVersion", 0xCA,
       [](Bench &b) {
         EXPECT_EQ(b.Status("60"), 0xAF);
         return b.Status("6E");
       }},
      {"new command during a write", 0xCA,
       [](Bench &b) {
         AppWithFile(b);
         b.card.EditContent().Application(kAid)->files[0].access_rights = 0xEEEE;
         EXPECT_EQ(b.Status("3D 01 00 00 00 04 00 00 01 02"), 0xAF);
         return b.Status("6E");
       }},
      {"short select", 0x7E, [](Bench &b) { return b.Status("5A 00 00"); }},
      {"frame of 61 bytes", 0x7E,
       [](Bench &b) { return b.Status("6E " + kovra_test::ToHex(Bytes(60, 0))); }},
      {"injected EEPROM error", 0xEE,
       [](Bench &b) {
         b.card.InjectStatus(0x6E, 0xEE);
         return b.Status("6E");
       }},
  };
  for (const ErrorCase &c : cases) {
    Bench bench;
    EXPECT_EQ(c.run(bench), c.status) << c.what;
    EXPECT_FALSE(bench.card.Session()) << c.what;
    EXPECT_FALSE(bench.card.CommandPending()) << c.what;
  }
}

TEST(SimDesfireErrorsTest, AFailedCommandChangesNothing) {
  Bench bench;
  AppWithFile(bench);
  const std::string before = bench.card.StateJson();
  EXPECT_EQ(bench.Status("CA 33 22 11 0F 81"), 0x9D);
  EXPECT_EQ(bench.Status("3D 01 0F 00 00 02 00 00 01 02"), 0xAE);
  EXPECT_EQ(AuthenticateMaster(bench), 0x00);
  EXPECT_EQ(bench.pcd.ChangeKey(0x01, kOtherKey, true, 0, &kOtherKey).status, 0x1E);
  EXPECT_EQ(bench.card.StateJson(), before);
}

}  // namespace
