// The frames of the DESFire commands and their handling of the card's answers, against a reader
// whose exchange command is answered by a scripted card.
#include "desfire/commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "desfire/session.h"
#include "kovra.h"
#include "unit/desfire/scripted_card.h"
#include "unit/reader/hex.h"

namespace kovra::desfire {
namespace {

using kovra_sim::Bytes;
using kovra_test::Hex;
using kovra_test::ScriptedCard;
using kovra_test::ToHex;

// The PPS exchange activates a card anew: the session of the card before goes back to card level,
// unauthenticated, through the port's card session record.
TEST(DesfireSession, ANewlyActivatedCardStartsAtCardLevelUnauthenticated) {
  ScriptedCard card;
  ASSERT_EQ(KOVRA_DESFireSelectApplication(card.handle(), 0x123456), 0);
  CDatenFuerDesfireInPort &session = SessionOf(card.port());
  session.auth_state = kAesAuthenticated;
  session.auth_key_no = 2;
  session.crypt.Init(CipherAES);
  ASSERT_EQ(GetSelectedAid(card.port()), 0x123456u);

  ASSERT_EQ(KOVRA_SendPps(card.handle(), 0x0A), 0);
  EXPECT_EQ(GetSelectedAid(card.port()), 0u);
  EXPECT_FALSE(IsAuthenticated(card.port()));
  EXPECT_EQ(session.auth_key_no, kNoKey);
  EXPECT_EQ(session.crypt.CipherType(), CipherNone);
  EXPECT_EQ(&SessionOf(card.port()), &session);  // the same record, reset
}

TEST(DesfireCommands, ManagementFrames) {
  ScriptedCard card;
  const unsigned char iso[] = {0x10, 0xE1, 'N', 'A', 'M', 'E'};
  EXPECT_EQ(KOVRA_DESFireCreateApplication(card.handle(), 0x123456, 2, 5, 0, 0xE, 0xF, nullptr, 0),
            0);
  EXPECT_EQ(KOVRA_DESFireCreateApplication(card.handle(), 0x01, 0, 3, 1, 0, 0x9, iso, 6), 0);
  EXPECT_EQ(KOVRA_DESFireCreateStdDataFile(card.handle(), 1, 0, 32, 3, 0x1234), 0);
  EXPECT_EQ(KOVRA_DESFireCreateStdDataFile(card.handle(), 2, 0xE102, 0x010203, 0, 0xEEEE), 0);
  EXPECT_EQ(KOVRA_DESFireSelectApplication(card.handle(), 0x7F123456), 0);
  EXPECT_EQ(KOVRA_DESFireDeleteApplication(card.handle(), 0x000102), 0);
  EXPECT_EQ(KOVRA_DESFireFormatPICC(card.handle()), 0);
  const char *expected[] = {
      "CA 56 34 12 EF 85",
      "CA 01 00 00 09 23 10 E1 4E 41 4D 45",
      "CD 01 03 34 12 20 00 00",
      "CD 02 02 E1 00 EE EE 03 02 01",
      "5A 56 34 12",
      "DA 02 01 00",
      "FC",
  };
  ASSERT_EQ(card.blocks().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(ToHex(card.blocks()[i]), expected[i]);
  EXPECT_EQ(GetSelectedAid(card.port()), 0x123456u);
}

TEST(DesfireCommands, AnswersThatAreNotAcceptedFail) {
  ScriptedCard card;
  card.Answer([](const Bytes &) { return Bytes{0xA0}; });
  EXPECT_EQ(KOVRA_DESFireSelectApplication(card.handle(), 0x010203), -1);
  EXPECT_EQ(KOVRA_GetLastError(card.handle()), 0x100A0);
  EXPECT_EQ(GetSelectedAid(card.port()), 0u);

  card.Answer([](const Bytes &) { return Bytes{0x00, 0x10, 0x00}; });  // too short
  EXPECT_EQ(KOVRA_DESFireGetFreeMemory(card.handle()), -1);
  card.Answer([](const Bytes &) { return Bytes{0x00, 0x00, 0x12, 0x01}; });
  EXPECT_EQ(KOVRA_DESFireGetFreeMemory(card.handle()), 0x011200);

  card.Answer([](const Bytes &) { return Bytes{0x00, 0x00, 0x02, 0xEE, 0xEE, 0x20, 0x00, 0x00}; });
  unsigned char settings[16];
  ASSERT_EQ(KOVRA_DESFireGetFileSettings(card.handle(), 1, settings, sizeof settings), 7);
  EXPECT_EQ(settings[1], 0);  // communication settings 2 count as plain
  EXPECT_EQ(KOVRA_DESFireGetFileSettings(card.handle(), 1, settings, 3), 3);

  card.Answer([](const Bytes &) { return Bytes{}; });  // an empty answer fails silently
  EXPECT_EQ(KOVRA_DESFireFormatPICC(card.handle()), -1);
}

TEST(DesfireCommands, KeyAndAuthenticationPreconditions) {
  ScriptedCard card;
  const unsigned char key[16] = {};
  EXPECT_EQ(KOVRA_DESFireAuthenticateAES(card.handle(), 0, key, 8), -1);
  EXPECT_EQ(KOVRA_GetLastError(card.handle()), KOVRA_DESFIRE_ERR_KEY_LENGTH);
  EXPECT_EQ(KOVRA_DESFireChangeKey(card.handle(), 0, key, 15, 0, nullptr, 0, 2), -1);
  EXPECT_EQ(KOVRA_GetLastError(card.handle()), KOVRA_DESFIRE_ERR_KEY_LENGTH);
  EXPECT_EQ(KOVRA_DESFireChangeKey(card.handle(), 0, key, 16, 0, nullptr, 0, 2), -1);
  EXPECT_EQ(KOVRA_GetLastError(card.handle()), KOVRA_DESFIRE_ERR_NOT_AUTHENTICATED);
  unsigned char data[4];
  EXPECT_EQ(KOVRA_DESFireReadData(card.handle(), 1, 3, 0, 4, data, 4), -1);
  EXPECT_EQ(KOVRA_GetLastError(card.handle()), KOVRA_DESFIRE_ERR_NOT_AUTHENTICATED);
  EXPECT_EQ(KOVRA_DESFireWriteData(card.handle(), 1, 3, 0, data, 4), -1);
  EXPECT_EQ(KOVRA_GetLastError(card.handle()), KOVRA_DESFIRE_ERR_NOT_AUTHENTICATED);
  EXPECT_TRUE(card.blocks().empty());  // nothing went to the card

  card.Answer([](const Bytes &) { return Bytes{0xAE}; });
  EXPECT_EQ(KOVRA_DESFireAuthenticateISO(card.handle(), 0, nullptr, 0), -1);
  EXPECT_EQ(KOVRA_GetLastError(card.handle()), 0x100AE);
  EXPECT_EQ(ToHex(card.blocks().back()), "1A 00");
}

// An argument outside its field would be cut to the field's bits and reach the card as another
// value (99 keys as 3, mode 7 as plain). Each is refused before anything is sent, -1 with the
// cause as the last error; the edge values that fit still go out.
TEST(DesfireCommands, ArgumentsOutsideTheirRangeAreRefusedBeforeAnythingIsSent) {
  const unsigned char key[16] = {};
  unsigned char data[8] = {};
  const unsigned char iso[19] = {0x10, 0xE1};
  const struct {
    const char *call;
    std::function<int(int)> run;
    int error;  // 0: in range, it reaches the card
  } cases[] = {
      {"CreateApplication 99 keys",
       [](int h) { return KOVRA_DESFireCreateApplication(h, 1, 2, 99, 0, 0xE, 0xF, nullptr, 0); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"CreateApplication 0 keys",
       [](int h) { return KOVRA_DESFireCreateApplication(h, 1, 2, 0, 0, 0xE, 0xF, nullptr, 0); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"CreateApplication 14 keys",
       [](int h) { return KOVRA_DESFireCreateApplication(h, 1, 2, 14, 0, 0xE, 0xF, nullptr, 0); },
       0},
      {"CreateApplication change-key access 99",
       [](int h) { return KOVRA_DESFireCreateApplication(h, 1, 2, 5, 0, 99, 0xF, nullptr, 0); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"CreateApplication configuration 16",
       [](int h) { return KOVRA_DESFireCreateApplication(h, 1, 2, 5, 0, 0xE, 16, nullptr, 0); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"CreateApplication crypto method 4",
       [](int h) { return KOVRA_DESFireCreateApplication(h, 1, 4, 5, 0, 0xE, 0xF, nullptr, 0); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"CreateApplication DF name of 17",
       [&](int h) { return KOVRA_DESFireCreateApplication(h, 1, 2, 5, 1, 0xE, 0xF, iso, 19); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"CreateStdDataFile file 32",
       [](int h) { return KOVRA_DESFireCreateStdDataFile(h, 32, 0, 32, 0, 0xEEEE); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"CreateStdDataFile size 2^24",
       [](int h) { return KOVRA_DESFireCreateStdDataFile(h, 1, 0, 0x1000000, 0, 0xEEEE); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"CreateStdDataFile rights 0x10000",
       [](int h) { return KOVRA_DESFireCreateStdDataFile(h, 1, 0, 32, 0, 0x10000); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"CreateStdDataFile mode 2",
       [](int h) { return KOVRA_DESFireCreateStdDataFile(h, 1, 0, 32, 2, 0xEEEE); },
       KOVRA_ERR_MODE_INVALID},
      {"WriteData mode 7",
       [&](int h) { return KOVRA_DESFireWriteData(h, 1, 7, 0, data, sizeof data); },
       KOVRA_ERR_MODE_INVALID},
      {"WriteData file -1",
       [&](int h) { return KOVRA_DESFireWriteData(h, -1, 0, 0, data, sizeof data); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"WriteData offset -8",
       [&](int h) { return KOVRA_DESFireWriteData(h, 1, 0, -8, data, sizeof data); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"WriteData past the last offset",
       [&](int h) { return KOVRA_DESFireWriteData(h, 1, 0, 0xFFFFFC, data, sizeof data); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"ReadData mode 2",
       [&](int h) { return KOVRA_DESFireReadData(h, 1, 2, 0, 4, data, sizeof data); },
       KOVRA_ERR_MODE_INVALID},
      {"ReadData length -1",
       [&](int h) { return KOVRA_DESFireReadData(h, 1, 0, 0, -1, data, sizeof data); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"GetFileSettings file 99",
       [&](int h) { return KOVRA_DESFireGetFileSettings(h, 99, data, sizeof data); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"AuthenticateAES key 14",
       [&](int h) { return KOVRA_DESFireAuthenticateAES(h, 14, key, 16); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"AuthenticateISO key -1",
       [&](int h) { return KOVRA_DESFireAuthenticateISO(h, -1, key, 16); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"ChangeKey key 64",
       [&](int h) { return KOVRA_DESFireChangeKey(h, 64, key, 16, 0, key, 16, 2); },
       KOVRA_ERR_WRONG_PARAMETER},
      {"ChangeKey version 256",
       [&](int h) { return KOVRA_DESFireChangeKey(h, 0, key, 16, 256, nullptr, 0, 2); },
       KOVRA_ERR_WRONG_PARAMETER},
  };
  for (const auto &c : cases) {
    ScriptedCard card;
    const int result = c.run(card.handle());
    if (c.error == 0) {
      EXPECT_EQ(result, 0) << c.call;
      EXPECT_EQ(card.blocks().size(), 1u) << c.call;
      continue;
    }
    EXPECT_EQ(result, -1) << c.call;
    EXPECT_EQ(KOVRA_GetLastError(card.handle()), c.error) << c.call;
    EXPECT_TRUE(card.blocks().empty()) << c.call;
  }
}

// A card that takes a WriteData in frames: 0xAF while it expects more, then 0x00.
Bytes AcceptWrite(const Bytes &block, size_t &expected) {
  if (block[0] == 0x3D) {
    expected = block[5] | (block[6] << 8) | (block[7] << 16);
    expected -= std::min(expected, block.size() - 8);
  } else {
    expected -= std::min(expected, block.size() - 1);
  }
  return Bytes{static_cast<uint8_t>(expected > 0 ? 0xAF : 0x00)};
}

TEST(DesfireCommands, WriteDataSplitsIntoFramesAndChunks) {
  ScriptedCard card;
  size_t expected = 0;
  card.Answer([&](const Bytes &block) { return AcceptWrite(block, expected); });
  std::vector<uint8_t> data(100);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(KOVRA_DESFireWriteData(card.handle(), 1, 0, 0, data.data(), 100), 0);
  ASSERT_EQ(card.blocks().size(), 2u);
  EXPECT_EQ(card.blocks()[0].size(), 8u + 52);
  EXPECT_EQ(ToHex(Bytes(card.blocks()[0].begin(), card.blocks()[0].begin() + 8)),
            "3D 01 00 00 00 64 00 00");
  EXPECT_EQ(card.blocks()[1].size(), 1u + 48);
  EXPECT_EQ(card.blocks()[1][0], 0xAF);
  EXPECT_EQ(card.blocks()[1][1], 52);

  std::vector<uint8_t> large(8000, 0x55);
  ASSERT_EQ(KOVRA_DESFireWriteData(card.handle(), 2, 1, 0x10, large.data(), 8000), 0);
  std::vector<Bytes> commands;
  for (const Bytes &block : card.blocks()) {
    if (block[0] == 0x3D && block[1] == 2)
      commands.push_back(Bytes(block.begin(), block.begin() + 8));
  }
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(ToHex(commands[0]), "3D 02 10 00 00 B0 1D 00");  // 7600 at 0x10
  EXPECT_EQ(ToHex(commands[1]), "3D 02 C0 1D 00 90 01 00");  // 400 at 0x10 + 7600
}

// A card that keeps asking for more after everything was sent has not taken the data.
TEST(DesfireCommands, WriteThatNeverCompletesFails) {
  ScriptedCard card;
  card.Answer([](const Bytes &) { return Bytes{0xAF}; });
  const unsigned char data[10] = {};
  EXPECT_EQ(KOVRA_DESFireWriteData(card.handle(), 1, 0, 0, data, sizeof data), -1);
  EXPECT_EQ(KOVRA_GetLastError(card.handle()), 0x100AF);
}

TEST(DesfireCommands, ReadDataCollectsContinuationFrames) {
  ScriptedCard card;
  card.Answer([](const Bytes &block) {
    if (block[0] == 0xBD) return Bytes{0xAF, 1, 2, 3};
    return Bytes{0x00, 4, 5};
  });
  unsigned char data[16] = {};
  ASSERT_EQ(KOVRA_DESFireReadData(card.handle(), 4, 0, 2, 0, data, sizeof data), 5);
  EXPECT_EQ(ToHex(data, 5), "01 02 03 04 05");
  EXPECT_EQ(ToHex(card.blocks()[0]), "BD 04 02 00 00 00 00 00");
  EXPECT_EQ(ToHex(card.blocks()[1]), "AF");

  // A card that hands out less than asked is refused instead of being asked again and again.
  EXPECT_EQ(KOVRA_DESFireReadData(card.handle(), 4, 0, 0, 10, data, sizeof data), -1);
  EXPECT_EQ(KOVRA_GetLastError(card.handle()), 20);
}

}  // namespace
}  // namespace kovra::desfire
