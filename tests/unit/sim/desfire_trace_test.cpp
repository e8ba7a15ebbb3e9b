// The simulated DESFire card replays sessions recorded from a real DESFire EV1 card: given the
// same random challenges (RndB), it must answer every recorded frame byte for byte. The frames
// come from the "DESFire EV1 Communication Examples" page (sotechcllc/RFDoorLock,
// "Desfire EV1 Communication Examples.htm"), a debug log of a PN532 talking to a real card; only
// the DESFire frames inside the PN532 frames are kept here.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sim/desfire/desfire_card.h"
#include "unit/reader/hex.h"

namespace {

using kovra_sim::Bytes;
using kovra_sim::DesfireCard;
using kovra_test::Hex;

struct TraceStep {
  std::string rnd_b;  // the card's next challenge, or empty
  std::string command;
  std::string answer;
};

std::string Counting(int from, int to) {
  Bytes bytes;
  for (int i = from; i <= to; ++i) bytes.push_back(static_cast<uint8_t>(i));
  return kovra_test::ToHex(bytes);
}

// A card with the recorded card's UID and production data, whose challenges are fed by the test.
class TraceCard {
 public:
  TraceCard() {
    kovra_sim::DesfireCardOptions options;
    options.random = [this](uint8_t *out, size_t count) {
      ASSERT_FALSE(challenges_.empty()) << "the card asked for a challenge the trace lacks";
      ASSERT_EQ(challenges_.front().size(), count);
      std::copy(challenges_.front().begin(), challenges_.front().end(), out);
      challenges_.pop_front();
    };
    options.batch_number = {0xBA, 0x45, 0x19, 0xE3, 0x20};
    options.production_week = 0x49;
    options.production_year = 0x13;
    card_ = std::make_unique<DesfireCard>(Hex("04 06 3F 72 63 34 80"), options);
  }

  void Replay(const std::vector<TraceStep> &steps, const std::string &what) {
    for (size_t i = 0; i < steps.size(); ++i) {
      if (!steps[i].rnd_b.empty()) challenges_.push_back(Hex(steps[i].rnd_b));
      const Bytes answer = card_->Exchange(Hex(steps[i].command));
      ASSERT_EQ(kovra_test::ToHex(answer), kovra_test::ToHex(Hex(steps[i].answer)))
          << what << ", step " << i << ": " << steps[i].command;
    }
    EXPECT_TRUE(challenges_.empty()) << what;
  }

  DesfireCard &Card() { return *card_; }

 private:
  std::deque<Bytes> challenges_;
  std::unique_ptr<DesfireCard> card_;
};

TEST(SimDesfireTraceTest, CardLevelWithTheFactoryDesKey) {
  TraceCard card;
  card.Replay(
      {
          {"", "5A 00 00 00", "00"},
          {"", "64 00", "00 00"},
          {"4F D1 B7 59 42 A8 B8 E1", "1A 00", "AF 5D 99 4C E0 85 F2 40 89"},
          {"", "AF 21 D0 AD 5F 2F D9 74 54 A7 46 CC 80 56 7F 1B 1C", "00 91 3C 6D ED 84 22 1C 41"},
          {"", "60", "AF 04 01 01 01 00 1A 05"},
          {"", "AF", "AF 04 01 01 01 04 1A 05"},
          {"", "AF", "00 04 06 3F 72 63 34 80 BA 45 19 E3 20 49 13 CD C8 10 BA FA 40 17 59"},
          {"", "FC", "00 9C 2C 81 3A 06 5C 45 F7"},
          {"", "CA 16 DE 00 0F 02", "00 0A 13 79 B0 1D 85 AD 47"},
          // The recorded card went on to create a three-key 3DES application; the simulated
          // card refuses those (and the session ends with the error).
          {"", "CA 24 DE 00 0F 42", "9E"},
      },
      "card level");
}

TEST(SimDesfireTraceTest, DesAndTwoKeyTripleDesApplicationKeys) {
  TraceCard card;
  card.Replay(
      {
          {"", "CA 16 DE 00 0F 02", "00"},
          {"", "5A 16 DE 00", "00"},
          {"3B 3D FE 62 81 64 BF DA", "1A 00", "AF 84 76 D1 CF 30 24 B7 C7"},
          {"", "AF DA C6 7A B7 43 76 3D C9 FA F8 A0 AE 50 4E 80 C5", "00 13 E9 E4 FA 43 88 BF 16"},
          {"", "45", "00 0F 02 25 DD 8D 77 31 B1 CF D5"},
          {"", "5A 16 DE 00", "00"},
          {"4C 64 7E 56 72 E2 A6 51", "1A 00", "AF DE 50 F9 23 10 CA F5 A5"},
          {"", "AF E0 06 16 66 87 04 D5 54 9C 8D 6A 13 A0 F8 FC ED", "00 1D 9D 29 54 69 7D E7 60"},
          // Key 0 changes itself to 00 10 20 31 .. (2K3DES, version 0x10 in the parity bits).
          {"", "C4 00 BE DE 0F C6 ED 34 7D CF 0D 51 C7 17 DF 75 D9 7D 2C 5A 2B A6 CA C7 47 9D",
           "00"},
          {"BC D8 29 97 47 33 2D AF", "1A 00", "AF B2 95 57 99 26 15 5A E3"},
          {"", "AF 70 F3 49 74 0C 94 5D AE 15 9B A9 FE DB CC 46 1A", "00 B8 FD 7F E5 6B 24 1F C4"},
          {"", "C4 00 94 E4 F7 09 DC 2A 2B 07 55 26 10 A1 96 6E 5C 49 EC 90 F6 16 ED EC A5 5B",
           "00"},
          {"A4 0E 79 E0 F5 2F 63 AF", "1A 00", "AF 94 14 81 9C C8 BB 62 C3"},
          {"", "AF 93 7E 6B 18 54 A6 D9 2E 0F D9 75 D9 90 90 01 E8", "00 E0 55 D1 1D D9 53 50 60"},
          {"", "64 00", "00 10 33 45 AA 95 F2 D9 56 CF"},
          // Back to the zero DES key, then key 1 changed twice by key 0 (new XOR old).
          {"", "C4 00 FC 9E 20 FD 77 19 1E 2A AB 0C FD 53 D9 99 99 84 BC 59 E8 86 BF EB 42 D0",
           "00"},
          {"CB E9 52 5F B7 DF 5C 3A", "1A 00", "AF 53 A6 70 D7 8C 0D FF D6"},
          {"", "AF B3 08 40 8B 57 5A 20 25 25 3D 49 D6 93 CC C2 9C", "00 52 5B B0 1E 5B 70 B7 94"},
          {"", "C4 01 4E B6 69 E4 8D CA 58 47 49 54 2E 1B E8 9C B4 C7 84 5A 38 C5 7D 19 DE 59",
           "00 2E AD 04 DC F1 21 E0 FE"},
          {"", "C4 01 FA 7B EF A6 78 2C 93 E8 D6 9C F7 35 2C FD 33 DF 5B C8 AC 4F BA 49 06 FC",
           "00 CB 0A 50 64 05 51 28 93"},
          {"60 8B EC D6 0A 7E 49 34", "1A 01", "AF 87 D3 AC 1E 09 57 0A AD"},
          {"", "AF D8 2E 8C 09 26 31 FE 15 25 7D 67 62 9F C9 29 D5", "00 C4 13 2C EF 0D 13 F8 12"},
      },
      "3DES application");
  const kovra_sim::DesfireApplication *application = card.Card().Application(0x00DE16);
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(application->keys[0].bytes, Bytes(16, 0));
  EXPECT_EQ(application->keys[1].bytes, Hex("10 18 20 29 30 38 40 48 50 58 60 68 70 78 80 88"));
  EXPECT_EQ(application->keys[1].version, 0x10);
}

TEST(SimDesfireTraceTest, AesApplicationKeysAndAStandardDataFile) {
  TraceCard card;
  card.Replay(
      {
          {"", "CA 16 AE 00 0F 82", "00"},
          {"", "5A 16 AE 00", "00"},
          {"C0 5D DD 71 4F D7 88 A6 B7 B7 54 F3 C4 D0 66 E8", "AA 00",
           "AF B9 69 FD FE 56 FD 91 FC 9D E6 F6 F2 13 B8 FD 1E"},
          {"",
           "AF 36 AA D7 DF 6E 43 6B A0 8D 18 61 38 30 A7 0D 5A D4 3E 3D 3F 4A 8D 47 54 1E EE 62 "
           "3A 93 4E 47 74",
           "00 80 0D B6 80 BC 14 6B D1 21 D6 57 8F 2D 2E 20 59"},
          // Key 0 changes itself to 00 10 20 30 .., version 0x10.
          {"",
           "C4 00 E9 F8 5E 21 94 96 C2 B5 8C 10 90 DC 39 35 FA E9 E8 40 CF 61 B3 83 D9 53 19 46 "
           "25 6B 1F 11 0C 10",
           "00"},
          {"27 10 47 12 5A 2A A5 81 78 F5 C5 1B 11 77 A1 9B", "AA 00",
           "AF CC C8 31 6C 2B 26 13 FE 9A 18 9B AC 9C C8 9D 03"},
          {"",
           "AF C0 2E 06 1E 72 E1 77 26 48 9C AE EC 99 7C 52 37 58 BF 86 3E FE 76 71 C5 5B 46 65 "
           "D0 6A CC D9 7B",
           "00 72 AC CC 0B DE A4 82 B5 31 85 BB 5A D0 08 62 46"},
          {"",
           "C4 00 29 45 E3 76 0E 60 F4 A4 04 6B B8 A5 05 B3 1C F5 59 A3 A2 E0 52 13 BC 82 94 2C "
           "A6 AB 5D BC EC F5",
           "00"},
          {"91 03 68 45 7E 2E 9A A1 67 35 5B FB 54 4B 99 31", "AA 00",
           "AF 3E 2B E6 26 C0 5E 77 98 EE 51 83 55 A7 51 64 8E"},
          {"",
           "AF FA BF 71 BB 0D C4 5B 8F 31 BA ED DF F7 F3 43 96 52 D4 09 4D F1 2C 17 EF 0C 94 35 "
           "3E 6D 77 70 C8",
           "00 1C E6 C5 74 E2 49 23 D4 04 E1 8B 6A 24 0C 1B 08"},
          {"", "64 00", "00 10 8A 8F A3 6F 55 CD 21 0D"},
          // Back to the zero key (version 0), then key 1 changed twice by key 0.
          {"",
           "C4 00 63 53 75 E4 91 9F 8A F2 E9 E8 6B 1C 1B A5 5B 0C 08 07 EA F4 84 D7 A7 EF 6E 0C "
           "30 84 16 0F 5A 61",
           "00"},
          {"D8 10 00 44 4B 97 6F 48 34 0D CD E3 4D 7A B1 7C", "AA 00",
           "AF ED DA F0 C5 D9 A7 CF 42 B8 80 8B E2 01 38 99 A1"},
          {"",
           "AF D8 10 5F 87 4E 2C A5 7B 76 C3 54 A8 06 6B 0D 78 80 B0 C4 EC 39 9D BF 25 34 38 DB "
           "46 D7 5F 8F 60",
           "00 45 9C 76 B7 1A B9 F1 73 64 13 F5 AC D7 3E 7D F9"},
          {"",
           "C4 01 E7 EC CB 6B D1 CA 64 BC 16 1A 12 B1 C0 24 F7 14 30 33 74 08 C8 A8 7E AC AB 7A "
           "1F F1 89 51 FC A3",
           "00 21 28 D3 CD 9C 9A CF FF"},
          {"",
           "C4 01 28 41 93 8C 40 A4 BC 2C 33 06 44 82 FE AD A5 F4 3E C5 35 D3 42 55 B0 28 6C 23 "
           "52 CD 17 38 63 C7",
           "00 CA F3 BF 0B 28 36 E9 DE"},
          {"62 6F FB D4 5C AF 33 4A CC A4 55 99 30 4F 5B 17", "AA 01",
           "AF B3 51 CB 24 65 D4 F3 3A C6 27 FD 6E 87 A1 68 F2"},
          {"",
           "AF 04 4B 6C AC 34 3A 08 65 89 51 49 64 9C A8 DD E1 F5 AC 4E C6 7B D2 08 90 0A F0 2F "
           "04 9E 05 F0 B0",
           "00 A2 EE 14 4B 10 12 FB EB 7B 2F 11 13 2D 95 A4 54"},
          // File 5: plain, read/write and change right key 1, 80 bytes; written and read in two
          // commands each, plain data with MACs.
          {"", "CD 05 00 11 00 50 00 00", "00 A7 53 16 AD 15 96 B9 53"},
          {"", "6F", "00 05 2D 5F F6 7F FE C9 D2 D3"},
          {"", "F5 05", "00 00 00 11 00 50 00 00 2A AC 75 17 02 4E 09 DC"},
          {"", "3D 05 00 00 00 34 00 00 " + Counting(0x00, 0x33), "00 76 5C 9D AA 50 EC B6 2F"},
          {"", "3D 05 34 00 00 1C 00 00 " + Counting(0x34, 0x4F), "00 3E 0A ED 98 6B 8B 0F 37"},
          {"", "BD 05 00 00 00 30 00 00",
           "00 " + Counting(0x00, 0x2F) + " 4C 65 F1 F8 42 26 2B AC"},
          {"", "BD 05 30 00 00 20 00 00",
           "00 " + Counting(0x30, 0x4F) + " F0 22 05 CF 91 3C 03 C9"},
      },
      "AES application");
  const kovra_sim::DesfireApplication *application = card.Card().Application(0x00AE16);
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(application->keys[1].bytes, Hex("10 18 20 28 30 38 40 48 50 58 60 68 70 78 80 88"));
  EXPECT_EQ(application->keys[1].version, 0x10);
  EXPECT_EQ(application->files.at(0).data, Hex(Counting(0x00, 0x4F)));
}

}  // namespace
