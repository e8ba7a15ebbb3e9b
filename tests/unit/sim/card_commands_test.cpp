// The reader's card commands against the card in its field, in every protocol family: the
// activation order request, select, RATS, PPS and the exchange, and what each answers without a
// card, with the field off, or with a card that lacks the ISO 14443-4 layer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/reader.h"
#include "unit/sim/sim_host.h"

namespace {

using kovra_sim::CardKind;
using kovra_sim::ReplyStatus;
using kovra_sim::SimReader;
using kovra_sim::SimReaderConfig;
using kovra_sim_test::Host;
using kovra_test::Hex;

SimReaderConfig Family(int family) {
  SimReaderConfig config;
  config.family = family;
  return config;
}

struct Step {
  uint8_t code;
  const char *data;
  ReplyStatus status;
  const char *answer;
};

void RunSteps(Host &host, const std::vector<Step> &steps, const std::string &what) {
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step &step = steps[i];
    const auto reply = host.Send(step.code, std::string(step.data));
    const std::string where =
        what + ", family " + std::to_string(host.Family()) + ", step " + std::to_string(i);
    ASSERT_TRUE(reply.complete) << where;
    EXPECT_EQ(reply.status, host.Status(step.status, step.code, Hex(step.data))) << where;
    EXPECT_EQ(reply.data, step.answer) << where;
  }
}

TEST(SimCardCommandsTest, ActivatesAnIsoCardAndExchangesBlocksInEveryFamily) {
  const std::vector<Step> activation = {
      {0xF5, "00", ReplyStatus::kOk, ""},
      {0xF5, "01", ReplyStatus::kOk, ""},
      {0x30, "", ReplyStatus::kOk, "44 03"},  // ATQA 0x0344, low byte first
      {0x31, "", ReplyStatus::kOk, "20 04 11 22 33 44 55 66"},
      {0x40, "01", ReplyStatus::kOk, ""},
      {0x41, "", ReplyStatus::kOk, "06 75 77 81 02 80"},
      {0x42, "0F", ReplyStatus::kOk, ""},
      // The ISO card echoes the block; 0x0D, 0x0A, 0x11 and 0x13 are bytes like any other.
      {0x45, "6E 0D 0A 11 13", ReplyStatus::kOk, "6E 0D 0A 11 13"},
      {0x45, "6E", ReplyStatus::kOk, "6E"},
  };
  for (int family = 0; family < kovra_sim::kFamilyCount; ++family) {
    SimReader reader(Family(family));
    Host host(reader, family);
    reader.PlaceCard(CardKind::kIso, Hex("04 11 22 33 44 55 66"));
    RunSteps(host, activation, "activation");
    reader.WithField([](kovra_sim::Field &field) {
      EXPECT_EQ(field.State(), kovra_sim::Activation::kLayer4);
      EXPECT_EQ(field.PresentExchanges(), 2u);
    });
  }
}

struct RefusalCase {
  const char *what;
  std::vector<Step> steps;
};

TEST(SimCardCommandsTest, CardCommandsAnswerNoTransponderUntilTheCardIsReadyForThem) {
  const Step on = {0xF5, "01", ReplyStatus::kOk, ""};
  const Step off = {0xF5, "00", ReplyStatus::kOk, ""};
  const Step select = {0x31, "", ReplyStatus::kOk, "20 04 11 22 33 44 55 66"};
  const Step rats = {0x41, "", ReplyStatus::kOk, "06 75 77 81 02 80"};
  const Step no_request = {0x30, "", ReplyStatus::kNoCard, ""};
  const Step no_select = {0x31, "", ReplyStatus::kNoCard, ""};
  const Step no_rats = {0x41, "", ReplyStatus::kNoCard, ""};
  const Step no_pps = {0x42, "00", ReplyStatus::kNoCard, ""};
  const Step no_exchange = {0x45, "60", ReplyStatus::kNoCard, ""};
  const RefusalCase cases[] = {
      {"field off", {no_request, no_select, no_rats, no_exchange}},
      {"not selected", {on, no_rats, no_pps, no_exchange}},
      {"selected, no RATS", {on, select, no_pps, no_exchange}},
      {"RATS twice", {on, select, rats, no_rats}},
      {"field switched off after activation", {on, select, rats, off, on, no_exchange}},
      {"select again leaves layer 4", {on, select, rats, select, no_exchange}},
      {"wrong data lengths",
       {on,
        {0x30, "00", ReplyStatus::kWrongLength, ""},
        {0x45, "", ReplyStatus::kWrongLength, ""},
        {0xF6, "00", ReplyStatus::kWrongLength, ""},
        {0xF6, "01 02", ReplyStatus::kOk, ""}}},
  };
  for (int family = 0; family < kovra_sim::kFamilyCount; ++family) {
    for (const RefusalCase &c : cases) {
      SimReader reader(Family(family));
      Host host(reader, family);
      reader.PlaceCard(CardKind::kIso, Hex("04 11 22 33 44 55 66"));
      RunSteps(host, c.steps, c.what);
    }
  }
}

TEST(SimCardCommandsTest, AnEmptyFieldOrARemovedCardAnswersNoTransponder) {
  for (int family = 0; family < kovra_sim::kFamilyCount; ++family) {
    SimReader reader(Family(family));
    Host host(reader, family);
    RunSteps(host, {{0xF5, "01", ReplyStatus::kOk, ""}, {0x30, "", ReplyStatus::kNoCard, ""}},
             "empty");
    reader.PlaceCard(CardKind::kIso, Hex("04 11 22 33 44 55 66"));
    RunSteps(host,
             {{0x31, "", ReplyStatus::kOk, "20 04 11 22 33 44 55 66"},
              {0x41, "", ReplyStatus::kOk, "06 75 77 81 02 80"}},
             "placed");
    reader.RemoveCard();
    RunSteps(host,
             {{0x45, "60", ReplyStatus::kNoCard, ""},
              {0x46, "", ReplyStatus::kNoCard, ""},
              {0x30, "", ReplyStatus::kNoCard, ""}},
             "removed");
  }
}

struct KindCase {
  CardKind kind;
  const char *uid;
  const char *atqa;  // as sent, low byte first
  uint8_t sak;
};

TEST(SimCardCommandsTest, EachCardKindAnswersWithItsAtqaSakAndUidAndOnlyIsoCardsTakeRats) {
  const KindCase cases[] = {
      {CardKind::kClassic1K, "A1 B2 C3 D4", "04 00", 0x08},
      {CardKind::kClassic4K, "A1 B2 C3 D4", "02 00", 0x18},
      {CardKind::kUltralight, "04 A1 B2 C3 D4 E5 F6", "44 00", 0x00},
      {CardKind::kIso, "04 A1 B2 C3 D4 E5 F6", "44 03", 0x20},
      {CardKind::kDesfire, "04 A1 B2 C3 D4 E5 F6", "44 03", 0x20},
  };
  for (const KindCase &c : cases) {
    SimReader reader(Family(0));
    Host host(reader, 0);
    reader.PlaceCard(c.kind, Hex(c.uid));
    const bool iso = (c.sak & 0x20) != 0;
    char sak[3];
    std::snprintf(sak, sizeof(sak), "%02X", c.sak);
    RunSteps(
        host,
        {{0xF5, "01", ReplyStatus::kOk, ""},
         {0x30, "", ReplyStatus::kOk, c.atqa},
         {0x31, "", ReplyStatus::kOk, (std::string(sak) + " " + c.uid).c_str()},
         {0x41, "", iso ? ReplyStatus::kOk : ReplyStatus::kNoCard, iso ? "06 75 77 81 02 80" : ""}},
        std::string(kovra_sim::CardKindName(c.kind)));
  }
}

TEST(SimCardCommandsTest, FreshUidsHaveTheLengthAndMakerByteOfTheirKind) {
  std::mt19937 random(7);
  for (int i = 0; i < 200; ++i) {
    const kovra_sim::Bytes classic = kovra_sim::RandomUid(CardKind::kClassic1K, random);
    ASSERT_EQ(classic.size(), 4u);
    EXPECT_NE(classic[0], 0x88);  // the cascade tag cannot start a single-size UID
    const kovra_sim::Bytes iso = kovra_sim::RandomUid(CardKind::kDesfire, random);
    ASSERT_EQ(iso.size(), 7u);
    EXPECT_EQ(iso[0], 0x04);
  }
}

// Brings a family-0 reader with an ISO card up to layer 4.
void Activate(Host &host) {
  RunSteps(host,
           {{0xF5, "01", ReplyStatus::kOk, ""},
            {0x31, "", ReplyStatus::kOk, "20 04 11 22 33 44 55 66"},
            {0x41, "", ReplyStatus::kOk, "06 75 77 81 02 80"}},
           "activate");
}

std::string Counting(size_t from, size_t count) {
  kovra_sim::Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(from + i);
  return kovra_test::ToHex(bytes);
}

TEST(SimCardCommandsTest, FamilyZeroHandsALongAnswerOutInPartsAnnouncingMoreData) {
  SimReader reader(Family(0));
  Host host(reader, 0);
  reader.PlaceCard(CardKind::kIso, Hex("04 11 22 33 44 55 66"));
  Activate(host);
  // 150 bytes come back in parts of 64, 64 and 22.
  RunSteps(host,
           {{0x45, Counting(0, 150).c_str(), ReplyStatus::kMoreData, Counting(0, 64).c_str()},
            {0x46, "", ReplyStatus::kMoreData, Counting(64, 64).c_str()},
            {0x46, "", ReplyStatus::kOk, Counting(128, 22).c_str()},
            {0x46, "", ReplyStatus::kNotAccepted, ""},  // nothing left, the card still active
            // Exactly the part size goes out whole; a new exchange drops what was pending.
            {0x45, Counting(0, 64).c_str(), ReplyStatus::kOk, Counting(0, 64).c_str()},
            {0x45, Counting(0, 65).c_str(), ReplyStatus::kMoreData, Counting(0, 64).c_str()},
            {0x45, "60", ReplyStatus::kOk, "60"},
            {0x46, "", ReplyStatus::kNotAccepted, ""}},
           "parts");

  reader.SetExchangePartSize(100);
  RunSteps(host,
           {{0x45, Counting(0, 150).c_str(), ReplyStatus::kMoreData, Counting(0, 100).c_str()},
            {0x46, "", ReplyStatus::kOk, Counting(100, 50).c_str()}},
           "part size 100");
}

TEST(SimCardCommandsTest, OtherFamiliesSendALongAnswerWhole) {
  for (int family = 1; family < kovra_sim::kFamilyCount; ++family) {
    SimReader reader(Family(family));
    Host host(reader, family);
    reader.PlaceCard(CardKind::kIso, Hex("04 11 22 33 44 55 66"));
    RunSteps(host,
             {{0xF5, "01", ReplyStatus::kOk, ""},
              {0x31, "", ReplyStatus::kOk, "20 04 11 22 33 44 55 66"},
              {0x41, "", ReplyStatus::kOk, "06 75 77 81 02 80"},
              {0x45, Counting(0, 150).c_str(), ReplyStatus::kOk, Counting(0, 150).c_str()}},
             "whole");
  }
}

TEST(SimCardCommandsTest, FamilyTwoAnswersTheFollowUpVersionCommandAsConfigured) {
  SimReaderConfig config = Family(2);
  config.follow_up_version = "9ZZ1";
  SimReader reader(config);
  Host host(reader, 2);
  EXPECT_EQ(host.Send(0xF0).data, "04 05 31 35");
  EXPECT_EQ(host.Send(0xF0, std::string("46 56")).data, "39 5A 5A 31");
  reader.SetFollowUpVersion(std::nullopt);  // back to the version text
  EXPECT_EQ(host.Send(0xF0, std::string("46 56")).data, "31 32 33 34");
}

}  // namespace
