// The read sequence against the simulated EV1 card over a pseudo-terminal: every communication
// mode with the read key and with the read/write key, the fallbacks from a refused read key or a
// refused free access to the read/write key, and the failures that end the read.
#include "writer/cards/read_sequence.h"

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

Bytes ToBytes(const QByteArray &bytes) {
  return Bytes(bytes.begin(), bytes.end());
}

QByteArray Key(char fill) {
  return QByteArray(16, fill);
}

const QByteArray kAppMasterKey = Key('\x10');
const QByteArray kReadKey = Key('\x21');
const QByteArray kReadWriteKey = Key('\x32');
const QByteArray kWrongKey = Key('\x7F');
const QByteArray kData("Quillmate reads this file back; it is longer than one frame of 59 bytes.");
constexpr int kAid = 0x123456;
constexpr int kFile = 3;

const QString kReadAes = QStringLiteral("AES Authentifizierung mit Lesen Key erfolgreich!");
const QString kReadIso = QStringLiteral("3DES Authentifizierung mit Lesen Key als erfolgreich!");
const QString kReadWriteAes =
    QStringLiteral("AES Authentifizierung mit Lesen/Schreiben Key erfolgreich!");
const QString kReadKeyInvalid =
    QStringLiteral("Authentifizierung nicht möglich! Gewählter Lesen Key nicht gültig");
const QString kReadWriteKeyInvalid =
    QStringLiteral("Authentifizierung nicht möglich! Gewählter Lesen/Schreiben Key nicht gültig");
const QString kOtherKeyNeeded = QStringLiteral(
    "Authentifizierung nicht möglich! Zum Lesen muss ein anderer Key gewählt werden");

// The rig's card, activated, for the read sequence.
class ReadRig : public quillmate_test::SimRig {
 protected:
  void SetUp() override {
    SimRig::SetUp();
    unsigned short atqa = 0;
    unsigned char uid[10], sak = 0, ats[16];
    ASSERT_EQ(KOVRA_SetRfField(handle_, 1), 0);
    ASSERT_EQ(KOVRA_Request(handle_, &atqa), 0);
    ASSERT_EQ(KOVRA_Select(handle_, uid, sizeof uid, &sak), 7);
    ASSERT_EQ(KOVRA_SetIsoParameter(handle_, 1), 0);
    ASSERT_GT(KOVRA_SendRats(handle_, ats, sizeof ats), 0);
    ASSERT_EQ(KOVRA_SendPps(handle_, 0x0A), 0);
  }

  // Application kAid with keys 0 (app master), 1 (read) and 2 (read/write) of one type, and
  // file kFile holding kData with the given rights word and communication byte.
  void PutApplication(DesfireKeyType type, int access_rights, int comm) {
    kovra_sim::DesfireApplication application;
    application.aid = kAid;
    application.key_settings = 0x0F;
    application.key_settings2 = static_cast<uint8_t>((type == DesfireKeyType::kAes ? 0x80 : 0) | 3);
    for (const QByteArray &key : {kAppMasterKey, kReadKey, kReadWriteKey}) {
      application.keys.push_back({type, ToBytes(key), 0});
    }
    kovra_sim::DesfireFile file;
    file.number = kFile;
    file.comm_settings = static_cast<uint8_t>(comm);
    file.access_rights = static_cast<uint16_t>(access_rights);
    file.data = ToBytes(kData);
    application.files.push_back(file);
    card_->EditContent().applications.push_back(application);
  }

  static DesfireSet Job(FileMode mode, int length = static_cast<int>(kData.size())) {
    DesfireSet job;
    job.app_id = kAid;
    job.file_id = kFile;
    job.length = length;
    job.file_mode = mode;
    return job;
  }
  static KeyPlan Plan(int read, QByteArray read_key, int read_write, QByteArray read_write_key) {
    KeyPlan plan;
    plan.app_master_key = kAppMasterKey;
    plan.read_nibble = read;
    plan.read_key = std::move(read_key);
    plan.read_write_nibble = read_write;
    plan.read_write_key = std::move(read_write_key);
    return plan;
  }

  // The port's last error text as the sequence wrote it.
  QString ErrorText() const {
    char text[512];
    const int length = KOVRA_GetErrorText(handle_, KOVRA_LANG_GERMAN, text, sizeof text);
    return QString::fromUtf8(text, length);
  }

  QByteArray bytes_{"stale"};
};

// Read right key 1, read/write right key 2 on the card: the job reads with one or the other.
TEST_F(ReadRig, ReadsEveryModeWithTheReadKeyAndWithTheReadWriteKey) {
  struct Case {
    FileMode mode;
    int comm;
    bool with_read_key;
  };
  for (const Case &c :
       {Case{FileMode::kPlain, 0, true}, Case{FileMode::kPlainWithMac, 1, true},
        Case{FileMode::kEnciphered, 3, true}, Case{FileMode::kPlain, 0, false},
        Case{FileMode::kPlainWithMac, 1, false}, Case{FileMode::kEnciphered, 3, false}}) {
    SCOPED_TRACE(testing::Message() << "comm " << c.comm << " read key " << c.with_read_key);
    card_->EditContent().applications.clear();
    PutApplication(DesfireKeyType::kAes, 0x1F20, c.comm);
    front_end_.lines.clear();
    const KeyPlan plan = c.with_read_key ? Plan(1, kReadKey, 2, kReadWriteKey)
                                         : Plan(kNibbleNone, {}, 2, kReadWriteKey);
    EXPECT_TRUE(ReadCard(context_, Job(c.mode), plan, bytes_));
    EXPECT_EQ(bytes_, kData);
    EXPECT_EQ(front_end_.lines, QStringList{c.with_read_key ? kReadAes : kReadWriteAes});
  }
}

TEST_F(ReadRig, ReadsWithTheAppMasterKeyAsReadRight) {
  PutApplication(DesfireKeyType::kAes, 0x0FF0, 1);
  EXPECT_TRUE(
      ReadCard(context_, Job(FileMode::kPlainWithMac), Plan(0, kAppMasterKey, 15, {}), bytes_));
  EXPECT_EQ(bytes_, kData);
  EXPECT_EQ(front_end_.lines, QStringList{kReadAes});
}

TEST_F(ReadRig, ReadsAFreeFilePlainlyWhateverTheJobsMode) {
  PutApplication(DesfireKeyType::kAes, 0xEFF0, 0);
  EXPECT_TRUE(ReadCard(context_, Job(FileMode::kEnciphered),
                       Plan(kNibbleFree, {}, 2, kReadWriteKey), bytes_));
  EXPECT_EQ(bytes_, kData);
  EXPECT_TRUE(front_end_.lines.empty());
}

TEST_F(ReadRig, FallsBackToTheIsoAuthenticationForADesKey) {
  PutApplication(DesfireKeyType::kDes, 0x1F20, 3);
  EXPECT_TRUE(
      ReadCard(context_, Job(FileMode::kEnciphered), Plan(1, kReadKey, 2, kReadWriteKey), bytes_));
  EXPECT_EQ(bytes_, kData);
  EXPECT_EQ(front_end_.lines, QStringList{kReadIso});
}

TEST_F(ReadRig, AWrongReadKeyFallsBackToTheReadWriteKey) {
  PutApplication(DesfireKeyType::kAes, 0x1F20, 3);
  EXPECT_TRUE(
      ReadCard(context_, Job(FileMode::kEnciphered), Plan(1, kWrongKey, 2, kReadWriteKey), bytes_));
  EXPECT_EQ(bytes_, kData);
  EXPECT_EQ(front_end_.lines, (QStringList{kReadKeyInvalid, kReadWriteAes}));
}

TEST_F(ReadRig, AReadKeyTheApplicationLacksIsReportedWithItsErrorAndFallsBack) {
  PutApplication(DesfireKeyType::kAes, 0x5F20, 3);
  EXPECT_TRUE(
      ReadCard(context_, Job(FileMode::kEnciphered), Plan(5, kReadKey, 2, kReadWriteKey), bytes_));
  EXPECT_EQ(bytes_, kData);
  ASSERT_EQ(front_end_.lines.size(), 2u);
  EXPECT_TRUE(front_end_.lines[0].endsWith(QStringLiteral(" <Auth(1)>")))
      << front_end_.lines[0].toStdString();
  EXPECT_NE(front_end_.lines[0], QStringLiteral(" <Auth(1)>"));  // the library's text comes first
  EXPECT_EQ(front_end_.lines[1], kReadWriteAes);
}

TEST_F(ReadRig, WrongReadAndReadWriteKeysEndTheRead) {
  PutApplication(DesfireKeyType::kAes, 0x1F20, 3);
  EXPECT_FALSE(
      ReadCard(context_, Job(FileMode::kEnciphered), Plan(1, kWrongKey, 2, kWrongKey), bytes_));
  EXPECT_TRUE(bytes_.isEmpty());
  EXPECT_EQ(front_end_.lines, (QStringList{kReadKeyInvalid, kReadWriteKeyInvalid}));
}

// A job that thinks the file is free while the card protects it.
TEST_F(ReadRig, ARefusedFreeReadFallsBackToTheReadWriteKey) {
  PutApplication(DesfireKeyType::kAes, 0x1F20, 1);
  EXPECT_TRUE(ReadCard(context_, Job(FileMode::kPlainWithMac),
                       Plan(kNibbleFree, {}, 2, kReadWriteKey), bytes_));
  EXPECT_EQ(bytes_, kData);
  EXPECT_EQ(front_end_.lines, QStringList{kReadWriteAes});
}

TEST_F(ReadRig, ARefusedFreeReadWithoutAReadWriteKeyAsksForAnotherKey) {
  PutApplication(DesfireKeyType::kAes, 0x1F20, 1);
  EXPECT_FALSE(
      ReadCard(context_, Job(FileMode::kPlainWithMac), Plan(kNibbleFree, {}, 15, {}), bytes_));
  EXPECT_TRUE(bytes_.isEmpty());
  EXPECT_EQ(front_end_.lines, QStringList{kOtherKeyNeeded});
}

TEST_F(ReadRig, AMissingApplicationIsReportedAtTheSelect) {
  EXPECT_FALSE(
      ReadCard(context_, Job(FileMode::kPlain), Plan(1, kReadKey, 2, kReadWriteKey), bytes_));
  EXPECT_TRUE(bytes_.isEmpty());
  EXPECT_EQ(KOVRA_GetLastError(handle_), KOVRA_DESFIRE_BASE + 0xA0);
  EXPECT_EQ(front_end_.lines, QStringList{ErrorText() + QStringLiteral(" <SelectApp>")});
}

TEST_F(ReadRig, AFileShorterThanTheJobIsReportedAtTheRead) {
  PutApplication(DesfireKeyType::kAes, 0x1F20, 3);
  const int longer = static_cast<int>(kData.size()) + 1;
  EXPECT_FALSE(ReadCard(context_, Job(FileMode::kEnciphered, longer),
                        Plan(1, kReadKey, 2, kReadWriteKey), bytes_));
  EXPECT_TRUE(bytes_.isEmpty());
  EXPECT_EQ(KOVRA_GetLastError(handle_), KOVRA_DESFIRE_BASE + 0xBE);
  EXPECT_EQ(front_end_.lines, (QStringList{kReadAes, ErrorText() + QStringLiteral(" <Read>")}));
}

TEST_F(ReadRig, AShorterJobReadsTheFilesStart) {
  PutApplication(DesfireKeyType::kAes, 0x1F20, 0);
  EXPECT_TRUE(
      ReadCard(context_, Job(FileMode::kPlain, 8), Plan(1, kReadKey, 2, kReadWriteKey), bytes_));
  EXPECT_EQ(bytes_, kData.left(8));
}

// The card takes a length of 0 as "the whole file": nothing is read instead.
TEST_F(ReadRig, ALengthOfZeroReadsNothing) {
  PutApplication(DesfireKeyType::kAes, 0x1F20, 0);
  EXPECT_TRUE(
      ReadCard(context_, Job(FileMode::kPlain, 0), Plan(1, kReadKey, 2, kReadWriteKey), bytes_));
  EXPECT_TRUE(bytes_.isEmpty());
}

}  // namespace
}  // namespace quillmate
