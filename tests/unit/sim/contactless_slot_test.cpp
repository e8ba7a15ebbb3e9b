// The field's card as a PC/SC contactless reader shows it: the ATR of each card kind, the
// reader's UID command, DESFire commands wrapped in ISO 7816-4 APDUs (chained answers
// included), the status words of everything else, and the remove-after fault.
#include "sim/contactless_slot.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "sim/field.h"
#include "unit/reader/hex.h"

namespace {

using kovra_sim::CardKind;
using kovra_sim::Field;
using kovra_test::Hex;
using kovra_test::ToHex;

constexpr const char *kDesfireUid = "04 A1 B2 C3 D4 E5 F6";

struct AtrCase {
  CardKind kind;
  const char *atr;
};

TEST(ContactlessAtr, IsBuiltAsAPcscReaderBuildsItForEachCardKind) {
  const AtrCase cases[] = {
      {CardKind::kDesfire, "3B 81 80 01 80 80"},
      {CardKind::kIso, "3B 81 80 01 80 80"},
      {CardKind::kClassic1K, "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A"},
      {CardKind::kClassic4K, "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 02 00 00 00 00 69"},
      {CardKind::kUltralight, "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 03 00 00 00 00 68"},
  };
  for (const AtrCase &c : cases) {
    const auto card = kovra_sim::MakeStandardCard(c.kind, Hex("04 01 02 03 04 05 06"));
    EXPECT_EQ(ToHex(kovra_sim::ContactlessAtr(*card)), c.atr) << kovra_sim::CardKindName(c.kind);
  }
}

struct ApduCase {
  std::optional<CardKind> card;  // nothing: an empty field
  const char *apdu;
  const char *response;
};

TEST(ContactlessApdu, AnswersTheReadersCommandsAndWrappedDesfireCommands) {
  const ApduCase cases[] = {
      // the reader's own command for the UID and the ATS's historical bytes
      {CardKind::kDesfire, "FF CA 00 00 00", "04 A1 B2 C3 D4 E5 F6 90 00"},
      {CardKind::kDesfire, "FF CA 00 00 07", "04 A1 B2 C3 D4 E5 F6 90 00"},
      {CardKind::kDesfire, "FF CA 00 00 04", "6C 07"},
      {CardKind::kDesfire, "FF CA 01 00 00", "80 90 00"},
      {CardKind::kClassic1K, "FF CA 00 00 00", "04 A1 B2 C3 90 00"},
      {CardKind::kClassic1K, "FF CA 01 00 00", "6A 81"},
      {CardKind::kDesfire, "FF CA 02 00 00", "6A 81"},
      {CardKind::kDesfire, "FF CA 00 00", "67 00"},
      {std::nullopt, "FF CA 00 00 00", "6A 81"},
      {CardKind::kDesfire, "FF B0 00 00 10", "6D 00"},
      // wrapped native commands: 90 INS 00 00 [Lc data] [Le], answered data 91 status
      {CardKind::kDesfire, "90 5A 00 00 03 00 00 00 00", "91 00"},
      {CardKind::kDesfire, "90 5A 00 00 03 00 00 00", "91 00"},
      {CardKind::kDesfire, "90 6A 00 00 00", "91 00"},
      {CardKind::kDesfire, "90 6A 00 00", "91 00"},
      {CardKind::kDesfire, "90 5A 00 00 03 01 00 00 00", "91 A0"},
      {CardKind::kDesfire, "90 AF 00 00 00", "91 1C"},
      {CardKind::kDesfire, "90 5A 00 00 05 00 00 00 00", "67 00"},
      {CardKind::kDesfire, "90 5A 00 00 04 00 00 00 00", "91 7E"},
      {CardKind::kDesfire, "90 5A 00 00 00 00", "67 00"},
      {CardKind::kDesfire, "90 60 01 00 00", "6A 86"},
      {CardKind::kClassic1K, "90 60 00 00 00", "6A 81"},
      {std::nullopt, "90 60 00 00 00", "6A 81"},
      // other classes, and less than a header
      {CardKind::kDesfire, "00 A4 04 00 07 D2 76 00 00 85 01 00", "6E 00"},
      {CardKind::kDesfire, "90 60 00", "67 00"},
  };
  for (const ApduCase &c : cases) {
    Field field;
    if (c.card) {
      const std::string uid = *c.card == CardKind::kClassic1K ? "04 A1 B2 C3" : kDesfireUid;
      field.PlaceNew(*c.card, Hex(uid));
    }
    kovra_sim::ActivateContactlessCard(field);
    EXPECT_EQ(ToHex(kovra_sim::AnswerContactlessApdu(field, Hex(c.apdu))), c.response) << c.apdu;
  }
}

TEST(ContactlessApdu, ChainsALongDesfireAnswerThroughAf) {
  Field field;
  field.PlaceNew(CardKind::kDesfire, Hex(kDesfireUid));
  kovra_sim::ActivateContactlessCard(field);
  const std::string first = ToHex(kovra_sim::AnswerContactlessApdu(field, Hex("90 60 00 00 00")));
  const std::string second = ToHex(kovra_sim::AnswerContactlessApdu(field, Hex("90 AF 00 00 00")));
  const std::string third = ToHex(kovra_sim::AnswerContactlessApdu(field, Hex("90 AF 00 00 00")));
  EXPECT_EQ(first.substr(first.size() - 5), "91 AF") << first;
  EXPECT_EQ(second.substr(second.size() - 5), "91 AF") << second;
  EXPECT_EQ(third.substr(0, 20), kDesfireUid) << third;
  EXPECT_EQ(third.substr(third.size() - 5), "91 00") << third;
}

TEST(ContactlessApdu, TheRemoveAfterFaultTakesTheCardAfterItsAnsweredExchange) {
  Field field;
  field.PlaceNew(CardKind::kDesfire, Hex(kDesfireUid));
  kovra_sim::ActivateContactlessCard(field);
  field.RemoveAfterExchanges(1);
  EXPECT_EQ(ToHex(kovra_sim::AnswerContactlessApdu(field, Hex("90 6A 00 00 00"))), "91 00");
  EXPECT_EQ(field.Present(), nullptr);
  EXPECT_EQ(ToHex(kovra_sim::AnswerContactlessApdu(field, Hex("90 6A 00 00 00"))), "6A 81");
}

TEST(ContactlessApdu, PowerOnEndsTheCardsSession) {
  Field field;
  field.PlaceNew(CardKind::kDesfire, Hex(kDesfireUid));
  kovra_sim::ActivateContactlessCard(field);
  // An authentication left half done is forgotten by a new activation: AF answers "no command".
  const std::string challenge =
      ToHex(kovra_sim::AnswerContactlessApdu(field, Hex("90 1A 00 00 01 00 00")));
  ASSERT_EQ(challenge.substr(challenge.size() - 5), "91 AF") << challenge;
  kovra_sim::ActivateContactlessCard(field);
  EXPECT_EQ(ToHex(kovra_sim::AnswerContactlessApdu(
                field, Hex("90 AF 00 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"))),
            "91 1C");
}

}  // namespace
