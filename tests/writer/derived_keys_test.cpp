// Keys of their own for every card, on the simulated EV1 card: a series written, read, verified
// and erased with derived keys, each card's keys checked against a derivation this test computes
// on OpenSSL alone; a card written without derivation met by a derived job; a card without a fixed
// UID.
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "sim_rig.h"
#include "writer/cards/card_detection.h"
#include "writer/cards/format_delete.h"
#include "writer/cards/read_sequence.h"
#include "writer/cards/write_sequence.h"
#include "writer/job/data_codec.h"
#include "writer/job/key_plan.h"

namespace {

using kovra_sim::Bytes;
using kovra_sim::DesfireKeyType;
using quillmate::DesfireSet;
using quillmate::KeyPlan;
using quillmate_test::SimRig;

const QString kCardMaster = QStringLiteral("00112233445566778899AABBCCDDEEFF");
const QString kAppMaster = QStringLiteral("B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF");
const QString kReadMaster = QStringLiteral("A0A1A2A3A4A5A6A7A8A9AAABACADAEAF");
const QString kWriteMaster = QStringLiteral("C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF");
const QString kReadWriteMaster = QStringLiteral("D0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF");
const QString kSystem = QStringLiteral("Halle 3");
constexpr uint32_t kAid = 0x123456;
// Indices into the access list: 3 + n is key n + 1.
constexpr int kKey1 = 3;
constexpr int kKey2 = 4;
constexpr int kKey3 = 5;

using Block = std::array<uint8_t, 16>;

Block AesBlock(const Bytes &key, const Block &in) {
  Block out{};
  EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
  int length = 0;
  const bool ok =
      EVP_EncryptInit_ex(context, EVP_aes_128_ecb(), nullptr, key.data(), nullptr) == 1 &&
      EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
      EVP_EncryptUpdate(context, out.data(), &length, in.data(), 16) == 1;
  EVP_CIPHER_CTX_free(context);
  EXPECT_TRUE(ok);
  return out;
}

Block Doubled(const Block &in) {
  Block out{};
  for (int i = 0; i < 16; ++i) {
    out[i] = static_cast<uint8_t>((in[i] << 1) | (i < 15 ? in[i + 1] >> 7 : 0));
  }
  if (in[0] & 0x80) out[15] ^= 0x87;
  return out;
}

// A card's AES-128 key as card issuers derive it: the CMAC under the master key of 01, the UID,
// the AID least significant byte first and the system identifier, padded to two blocks (80 and
// zeros, then the second subkey) even when shorter. Written here from the published method on
// OpenSSL's AES, apart from the program's own code.
Bytes ExpectedKey(const QString &master_hex, const Bytes &uid, uint32_t aid,
                  const QByteArray &system) {
  const QByteArray master_bytes = QByteArray::fromHex(master_hex.toLatin1());
  const Bytes master(master_bytes.begin(), master_bytes.end());
  Bytes message = {0x01};
  message.insert(message.end(), uid.begin(), uid.end());
  message.push_back(static_cast<uint8_t>(aid));
  message.push_back(static_cast<uint8_t>(aid >> 8));
  message.push_back(static_cast<uint8_t>(aid >> 16));
  message.insert(message.end(), system.begin(), system.end());
  EXPECT_LE(message.size(), 32u);
  const Block k1 = Doubled(AesBlock(master, Block{}));
  const Block &last_key = message.size() == 32 ? k1 : Doubled(k1);
  if (message.size() < 32) message.push_back(0x80);
  message.resize(32, 0x00);
  Block chain{};
  for (int block = 0; block < 2; ++block) {
    for (int i = 0; i < 16; ++i) {
      chain[i] ^= static_cast<uint8_t>(message[block * 16 + i] ^ (block == 1 ? last_key[i] : 0));
    }
    chain = AesBlock(master, chain);
  }
  return Bytes(chain.begin(), chain.end());
}

class DerivedKeys : public SimRig {
 protected:
  void SetUp() override {
    SimRig::SetUp();
    job_.data = QStringLiteral("4711");
    job_.length = 16;
    job_.app_id = static_cast<int>(kAid);
    job_.file_id = 1;
    job_.file_mode = quillmate::FileMode::kEnciphered;
    job_.card_key = kCardMaster;
    job_.app_key = kAppMaster;
    job_.key_count = 4;
    job_.read_key_nr = kKey1;
    job_.write_key_nr = kKey2;
    job_.read_write_key_nr = kKey3;
    job_.read_key = kReadMaster;
    job_.write_key = kWriteMaster;
    job_.read_write_key = kReadWriteMaster;
    Derive(job_, true);
  }

  static void Derive(DesfireSet &job, bool on) {
    job.card_key_derived = job.app_key_derived = job.read_key_derived = job.write_key_derived =
        job.read_write_key_derived = on;
    job.system_identifier = on ? kSystem : QString();
  }

  bool Write(const DesfireSet &job) {
    KeyPlan plan;
    const quillmate::JobCheck checked = quillmate::ValidateWriteJob(job, plan);
    EXPECT_TRUE(checked.ok) << checked.message.toStdString();
    QByteArray bytes;
    EXPECT_TRUE(quillmate::EncodeData(job, job.data, bytes).ok);
    if (!quillmate::DetectCard(context_, false)) return false;
    return quillmate::WriteCard(context_, job, plan, bytes);
  }

  bool Read(const DesfireSet &job, QByteArray &bytes) {
    KeyPlan plan;
    EXPECT_TRUE(quillmate::ValidateReadJob(job, plan).ok);
    if (!quillmate::DetectCard(context_, false)) return false;
    return quillmate::ReadCard(context_, job, plan, bytes);
  }

  // The five keys the card must carry, in the order card master, app master, key 1, 2, 3.
  static std::vector<Bytes> ExpectedKeys(const Bytes &uid) {
    const QByteArray system = kSystem.toUtf8();
    return {ExpectedKey(kCardMaster, uid, 0, system), ExpectedKey(kAppMaster, uid, kAid, system),
            ExpectedKey(kReadMaster, uid, kAid, system),
            ExpectedKey(kWriteMaster, uid, kAid, system),
            ExpectedKey(kReadWriteMaster, uid, kAid, system)};
  }

  static std::vector<Bytes> CardKeys(const kovra_sim::DesfireCard &card) {
    std::vector<Bytes> keys;
    EXPECT_EQ(card.Content().master_key.type, DesfireKeyType::kAes);
    keys.push_back(card.Content().master_key.bytes);
    const kovra_sim::DesfireApplication *app = card.Application(kAid);
    if (app == nullptr) return keys;
    for (const kovra_sim::DesfireKey &key : app->keys) {
      EXPECT_EQ(key.type, DesfireKeyType::kAes);
      keys.push_back(key.bytes);
    }
    return keys;
  }

  quillmate::DeleteFields EraseFields() const {
    quillmate::DeleteFields fields;
    fields.app_id = static_cast<int>(kAid);
    fields.card_master_key = kCardMaster;
    fields.app_master_key = kAppMaster;
    fields.card_master_key_derived = fields.app_master_key_derived = true;
    fields.system_identifier = kSystem;
    return fields;
  }

  DesfireSet job_;
};

TEST_F(DerivedKeys, ASeriesGetsKeysOfItsOwnOnEveryCardReadVerifiedAndErasedWithThem) {
  const Bytes uids[] = {{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66},
                        {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x67},
                        {0x04, 0xA0, 0x0B, 0x7C, 0x1D, 0x2E, 0x80}};
  std::set<Bytes> seen;
  std::shared_ptr<kovra_sim::DesfireCard> card;
  for (const Bytes &uid : uids) {
    SCOPED_TRACE(::testing::PrintToString(uid));
    card = FreshDesfire(uid);
    Place(card);
    ASSERT_TRUE(Write(job_)) << front_end_.lines.join('\n').toStdString();
    const std::vector<Bytes> keys = CardKeys(*card);
    EXPECT_EQ(keys, ExpectedKeys(uid));
    for (const Bytes &key : keys) EXPECT_TRUE(seen.insert(key).second) << "a key seen before";

    // Read, and read again as the check after a write does; then the next value on the same
    // card, which now opens only with its derived keys.
    QByteArray bytes;
    ASSERT_TRUE(Read(job_, bytes)) << front_end_.lines.join('\n').toStdString();
    EXPECT_EQ(bytes.left(4), QByteArray("4711"));
    DesfireSet next = job_;
    next.data = QStringLiteral("4712");
    ASSERT_TRUE(Write(next)) << front_end_.lines.join('\n').toStdString();
    ASSERT_TRUE(Read(job_, bytes));
    EXPECT_EQ(bytes.left(4), QByteArray("4712"));
    EXPECT_EQ(CardKeys(*card), ExpectedKeys(uid));
  }

  // Erasing: the application with the card's derived app master key, the card with its derived
  // card master key.
  const quillmate::DeleteFields fields = EraseFields();
  ASSERT_TRUE(quillmate::DeleteApplication(context_, fields).done)
      << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(card->Application(kAid), nullptr);
  ASSERT_TRUE(quillmate::FormatCard(context_, fields).done)
      << front_end_.lines.join('\n').toStdString();
  EXPECT_TRUE(card->Content().applications.empty());
}

// The master key itself opens nothing on a card with derived keys: without the switch the erase
// is refused and the card kept.
TEST_F(DerivedKeys, TheMasterKeyItselfErasesNothing) {
  ASSERT_TRUE(Write(job_));
  quillmate::DeleteFields plain = EraseFields();
  plain.card_master_key_derived = false;
  EXPECT_FALSE(quillmate::FormatCard(context_, plain).done);
  EXPECT_TRUE(front_end_.Contains(
      QStringLiteral("Authentifizierung nicht möglich! Gewählter Card Master Key nicht gültig")));
  EXPECT_FALSE(card().Content().applications.empty());
}

// The write's repairs with derived keys: an application still holding factory keys gets the
// card's derived keys; a card carrying keys derived with another system identifier opens with
// neither those nor the factory key and is refused as a card with another key is.
TEST_F(DerivedKeys, RepairsGiveFactoryKeysTheDerivedOnesAndRefuseOtherDerivedKeys) {
  kovra_sim::DesfireApplication factory;
  factory.aid = kAid;
  factory.key_settings = 0xEF;       // each key changed with itself, as the write creates it
  factory.key_settings2 = 0x80 | 4;  // AES, four keys
  for (int i = 0; i < 4; ++i) factory.keys.push_back({DesfireKeyType::kAes, Bytes(16, 0), 0});
  card().EditContent().applications.push_back(factory);
  ASSERT_TRUE(Write(job_)) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(CardKeys(card()), ExpectedKeys(kUid));

  DesfireSet other = job_;
  other.system_identifier = QStringLiteral("Halle 4");
  front_end_.lines.clear();
  EXPECT_FALSE(Write(other));
  EXPECT_TRUE(front_end_.Contains(
      QStringLiteral("Authentifizierung nicht möglich! Gewählter Card Master Key nicht gültig")))
      << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(CardKeys(card()), ExpectedKeys(kUid));
}

// A card written with the job's keys as they stand, read with a job that derives them: the read
// key the card has is not the card's derived key, and the operator is told which key fails.
TEST_F(DerivedKeys, ACardWrittenWithoutDerivationIsRefusedByTheDerivedRead) {
  DesfireSet plain = job_;
  Derive(plain, false);
  ASSERT_TRUE(Write(plain));
  front_end_.lines.clear();
  QByteArray bytes;
  EXPECT_FALSE(Read(job_, bytes));
  EXPECT_TRUE(bytes.isEmpty());
  EXPECT_TRUE(front_end_.Contains(
      QStringLiteral("Authentifizierung nicht möglich! Gewählter Lesen Key nicht gültig")))
      << front_end_.lines.join('\n').toStdString();
  EXPECT_TRUE(front_end_.Contains(QStringLiteral(
      "Authentifizierung nicht möglich! Gewählter Lesen/Schreiben Key nicht gültig")));
}

// A card showing a new random UID at every activation cannot keep keys derived from it: it is
// refused before anything is sent, for writing, reading and erasing alike.
TEST_F(DerivedKeys, ACardWithARandomUidIsRefusedAndLeftAlone) {
  auto card = FreshDesfire({0x08, 0x5A, 0x11, 0x22});
  Place(card);
  const QString refusal = QStringLiteral(
      "Die Karte 085A1122 zeigt keine feste UID: pro Karte abgeleitete Keys brauchen die UID der "
      "Karte!");
  EXPECT_FALSE(Write(job_));
  QByteArray bytes;
  EXPECT_FALSE(Read(job_, bytes));
  EXPECT_FALSE(quillmate::FormatCard(context_, EraseFields()).done);
  EXPECT_EQ(front_end_.lines.count(refusal), 3) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(card->Content().master_key.type, DesfireKeyType::kDes);
  EXPECT_TRUE(card->Content().applications.empty());
}

}  // namespace
