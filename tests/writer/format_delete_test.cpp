// Formatting a card and deleting an application against the simulated EV1 card over a
// pseudo-terminal, with the card's state checked afterwards; the dialog's field checks and its
// own card detection.
#include "writer/cards/format_delete.h"

#include <gtest/gtest.h>

#include "sim_rig.h"

// Readable QStrings in failure messages.
static void PrintTo(const QString &text, std::ostream *out) {
  *out << '"' << text.toStdString() << '"';
}

namespace quillmate {
namespace {

using kovra_sim::Bytes;
using kovra_sim::DesfireKeyType;

const Bytes kZeroKey(16, 0x00);
const Bytes kAesCardKey(16, 0xC5);
const Bytes kAppKey(16, 0xA7);
const QString kCardKeyText = QStringLiteral("C5C5C5C5C5C5C5C5C5C5C5C5C5C5C5C5");
const QString kAppKeyText = QStringLiteral("A7A7A7A7A7A7A7A7A7A7A7A7A7A7A7A7");
const QString kWrongKeyText = QStringLiteral("0102");
constexpr int kAid = 0x00BEEF;
constexpr int kOtherAid = 0x000ABC;

// The result lines name the card that was erased (the rig's card).
const QString kFormatted = QStringLiteral("Karte wurde gelöscht! (Karte 04112233445566)");
const QString kDeleted =
    QStringLiteral("Die gewählte Applikation wurde gelöscht! (Karte 04112233445566)");

class FormatDeleteRig : public quillmate_test::SimRig {
 protected:
  // An application with a master key and one more key of the type, and one small file.
  void PutApplication(int aid, DesfireKeyType type, const Bytes &master_key) {
    kovra_sim::DesfireApplication application;
    application.aid = static_cast<uint32_t>(aid);
    application.key_settings = 0x0F;
    application.key_settings2 = static_cast<uint8_t>((type == DesfireKeyType::kAes ? 0x80 : 0) | 2);
    application.keys.push_back({type, master_key, 0});
    application.keys.push_back({type, kZeroKey, 0});
    kovra_sim::DesfireFile file;
    file.number = 1;
    file.access_rights = 0xEEE0;
    file.data = Bytes(32, 0x55);
    application.files.push_back(file);
    card().EditContent().applications.push_back(application);
  }
  void SetCardMasterKey(DesfireKeyType type, const Bytes &key) {
    card().EditContent().master_key = {type, key, 0x42};
  }
  QString ErrorText() const {
    char text[512];
    const int length = KOVRA_GetErrorText(handle_, KOVRA_LANG_GERMAN, text, sizeof text);
    return QString::fromUtf8(text, length);
  }
  static DeleteFields Fields(int app_id, QString card_key, QString app_key) {
    return {app_id, std::move(card_key), std::move(app_key)};
  }
};

// A factory card (empty key field, ISO) and a card whose master key the job made AES: both lose
// every application and get the zero key back in the type they had.
TEST_F(FormatDeleteRig, FormatEmptiesTheCardAndResetsTheMasterKeyInItsType) {
  struct Case {
    DesfireKeyType type;
    Bytes key;
    QString key_text;
  };
  for (const Case &c : {Case{DesfireKeyType::kDes, kZeroKey, QString()},
                        Case{DesfireKeyType::kAes, kAesCardKey, kCardKeyText}}) {
    SCOPED_TRACE(c.type == DesfireKeyType::kAes ? "AES" : "DES");
    SetCardMasterKey(c.type, c.key);
    PutApplication(kAid, DesfireKeyType::kAes, kAppKey);
    PutApplication(kOtherAid, DesfireKeyType::kDes, kZeroKey);
    front_end_.lines.clear();

    EXPECT_TRUE(FormatCard(context_, Fields(kAid, c.key_text, QString())).done);
    EXPECT_EQ(front_end_.lines, QStringList{kFormatted});
    const kovra_sim::DesfirePicc &picc = card().Content();
    EXPECT_TRUE(picc.applications.empty());
    EXPECT_EQ(picc.master_key.type, c.type);
    EXPECT_EQ(picc.master_key.bytes, kZeroKey);
    EXPECT_EQ(picc.master_key.version, 0);
  }
}

TEST_F(FormatDeleteRig, FormatWithAWrongCardMasterKeyLeavesTheCardAlone) {
  SetCardMasterKey(DesfireKeyType::kAes, kAesCardKey);
  PutApplication(kAid, DesfireKeyType::kAes, kAppKey);

  EXPECT_FALSE(FormatCard(context_, Fields(kAid, kWrongKeyText, QString())).done);
  EXPECT_EQ(
      front_end_.lines,
      QStringList{QStringLiteral("Authentifizierung nicht möglich! Gewählter Card Master Key nicht "
                                 "gültig")});
  const kovra_sim::DesfirePicc &picc = card().Content();
  EXPECT_EQ(picc.applications.size(), 1u);
  EXPECT_EQ(picc.master_key.type, DesfireKeyType::kAes);
  EXPECT_EQ(picc.master_key.bytes, kAesCardKey);
}

TEST_F(FormatDeleteRig, DeleteRemovesOnlyTheChosenApplication) {
  for (DesfireKeyType type : {DesfireKeyType::kAes, DesfireKeyType::kDes}) {
    SCOPED_TRACE(type == DesfireKeyType::kAes ? "AES" : "DES");
    card().EditContent().applications.clear();
    PutApplication(kOtherAid, DesfireKeyType::kAes, kZeroKey);
    PutApplication(kAid, type, kAppKey);
    front_end_.lines.clear();

    EXPECT_TRUE(DeleteApplication(context_, Fields(kAid, QString(), kAppKeyText)).done);
    EXPECT_EQ(front_end_.lines, QStringList{kDeleted});
    EXPECT_EQ(card().Application(kAid), nullptr);
    EXPECT_NE(card().Application(kOtherAid), nullptr);
  }
}

TEST_F(FormatDeleteRig, DeleteWithAWrongAppMasterKeyKeepsTheApplication) {
  PutApplication(kAid, DesfireKeyType::kAes, kAppKey);
  EXPECT_FALSE(DeleteApplication(context_, Fields(kAid, QString(), kWrongKeyText)).done);
  EXPECT_EQ(front_end_.lines, QStringList{QStringLiteral(
                                  "Authentifizierung nicht möglich! Gewählter App Master Key nicht "
                                  "gültig")});
  EXPECT_NE(card().Application(kAid), nullptr);
}

TEST_F(FormatDeleteRig, DeleteOfAMissingApplicationFailsAtTheSelect) {
  PutApplication(kOtherAid, DesfireKeyType::kAes, kZeroKey);
  EXPECT_FALSE(DeleteApplication(context_, Fields(kAid, QString(), kAppKeyText)).done);
  EXPECT_EQ(KOVRA_GetLastError(handle_), KOVRA_DESFIRE_BASE + 0xA0);
  EXPECT_EQ(front_end_.lines, QStringList{ErrorText() + QStringLiteral(" <SelectApp>")});
  EXPECT_NE(card().Application(kOtherAid), nullptr);
}

// A refused field is shown as a message, with the field to focus, before anything reaches the
// card.
TEST_F(FormatDeleteRig, RefusedFieldsStopBeforeTheCard) {
  struct Case {
    DeleteFields fields;
    QString message;
    JobField field;
  };
  const QString too_long(33, u'A');
  const Case cases[] = {
      {Fields(0x1000000, QString(), QString()),
       QStringLiteral("Geben Sie eine ganze Zahl zwischen 0 und FFFFFF ein."), JobField::kAppId},
      {Fields(-1, QString(), QString()),
       QStringLiteral("Geben Sie eine ganze Zahl zwischen 0 und FFFFFF ein."), JobField::kAppId},
      {Fields(kAid, too_long, QString()), QStringLiteral("Geben Sie höchstens 32 Zeichen ein."),
       JobField::kCardKey},
      {Fields(kAid, QString(), too_long), QStringLiteral("Geben Sie höchstens 32 Zeichen ein."),
       JobField::kAppKey},
      {Fields(kAid, QStringLiteral("12G4"), QString()), QStringLiteral("Keine Hex-Eingabe"),
       JobField::kCardKey},
  };
  PutApplication(kAid, DesfireKeyType::kDes, kZeroKey);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.message.toStdString());
    for (bool format : {true, false}) {
      front_end_.messages.clear();
      const quillmate::RunResult result =
          format ? FormatCard(context_, c.fields) : DeleteApplication(context_, c.fields);
      EXPECT_FALSE(result.done);
      EXPECT_EQ(front_end_.messages, QStringList{c.message});
      EXPECT_FALSE(result.check.ok);
      EXPECT_EQ(result.check.field, c.field);
    }
  }
  EXPECT_TRUE(front_end_.lines.isEmpty());
  EXPECT_NE(card().Application(kAid), nullptr);
}

// App ID 0 passes the field check here (the card level); the card refuses to delete it.
TEST_F(FormatDeleteRig, AppIdZeroReachesTheCard) {
  EXPECT_TRUE(CheckDeleteFields(Fields(0, QString(), QString())).ok);
  EXPECT_FALSE(DeleteApplication(context_, Fields(0, QString(), QString())).done);
  ASSERT_EQ(front_end_.lines.size(), 1);
  EXPECT_TRUE(front_end_.lines[0].endsWith(QStringLiteral(" <DeleteApp>")));
}

TEST_F(FormatDeleteRig, DetectionRefusesWhatIsNoDesfireCard) {
  Place(nullptr);
  EXPECT_FALSE(DetectCardForDelete(context_));
  Place(std::make_shared<kovra_sim::Layer3Card>(kovra_sim::CardKind::kClassic1K,
                                                Bytes{0x01, 0x02, 0x03, 0x04}));
  EXPECT_FALSE(FormatCard(context_, Fields(kAid, QString(), QString())).done);
  Place(std::make_shared<kovra_sim::Layer3Card>(kovra_sim::CardKind::kUltralight,
                                                Bytes{0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}));
  EXPECT_FALSE(DeleteApplication(context_, Fields(kAid, QString(), QString())).done);
  EXPECT_EQ(front_end_.lines,
            (QStringList{QStringLiteral("Kein gültiger Transponder vorhanden!"),
                         QStringLiteral("Ungültiger Transpondertyp: MIFARE® 1K"),
                         QStringLiteral("Ungültiger Transpondertyp: MIFARE Ultralight®")}));
}

TEST_F(FormatDeleteRig, DetectionActivatesADesfireCard) {
  EXPECT_TRUE(DetectCardForDelete(context_));
  EXPECT_GE(KOVRA_DESFireGetFreeMemory(handle_), 0);
  EXPECT_TRUE(front_end_.lines.isEmpty());
}

}  // namespace
}  // namespace quillmate
