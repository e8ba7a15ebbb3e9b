// The write job's fields: first-start defaults, access lists, and the check that accepts or refuses
// a job naming the field.
#include "writer/job/desfire_set.h"
#include "writer/job/key_plan.h"

#include <gtest/gtest.h>

namespace quillmate {
namespace {

const QString kNotHex = QStringLiteral("Keine Hex-Eingabe");
const QString kLengthOverDecimal =
    QStringLiteral("Bytanzahl größer 8 kann im Dezimal-Modus nicht bearbeitetet werden");
const QString kNoReadAccess = QStringLiteral(
    "Kein Lesezugriff erlaubt, entweder bei Lesen oder bei Lesen/Schreiben den Zugriff erlauben");
const QString kNoWriteAccess = QStringLiteral(
    "Kein Schreibzugriff erlaubt, entweder bei Schreiben oder bei Lesen/Schreiben den Zugriff "
    "erlauben");

QString Range(const char *low, const char *high) {
  return QStringLiteral("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.")
      .arg(QLatin1String(low), QLatin1String(high));
}

TEST(DesfireSet, DefaultsAreThoseOfAFirstStart) {
  const DesfireSet job;
  EXPECT_EQ(job.length, 32);
  EXPECT_EQ(job.number_format, NumberFormat::kDecimal);
  EXPECT_EQ(job.representation, Representation::kAscii);
  EXPECT_EQ(job.orientation, Orientation::kNormal);
  EXPECT_EQ(job.app_id, 1);
  EXPECT_EQ(job.file_id, 0);
  EXPECT_EQ(job.file_mode, FileMode::kPlain);
  EXPECT_EQ(job.key_count, 14);
  EXPECT_EQ(job.read_key_nr, 1);
  EXPECT_EQ(job.write_key_nr, 1);
  EXPECT_EQ(job.read_write_key_nr, 1);
  EXPECT_TRUE(job.auto_increment);
  EXPECT_FALSE(job.leading_zeros);
  EXPECT_FALSE(job.prefix_allowed);
  EXPECT_EQ(FileModeByte(FileMode::kPlain), 0x00);
  EXPECT_EQ(FileModeByte(FileMode::kPlainWithMac), 0x01);
  EXPECT_EQ(FileModeByte(FileMode::kEnciphered), 0x03);
}

TEST(FillAccessLists, FollowsTheKeyCount) {
  DesfireSet job;
  job.key_count = 0;
  job.read_key_nr = 2;
  job.write_key_nr = 1;
  job.read_write_key_nr = -1;
  const QList<AccessEntry> none = FillAccessLists(job);
  ASSERT_EQ(none.size(), 2);
  EXPECT_EQ(none[0].text, QStringLiteral("Kein Zugriff"));
  EXPECT_EQ(none[0].nibble, 15);
  EXPECT_EQ(none[1].text, QStringLiteral("Freier Zugriff"));
  EXPECT_EQ(none[1].nibble, 14);
  EXPECT_EQ(job.read_key_nr, 0);  // past the list
  EXPECT_EQ(job.write_key_nr, 1);
  EXPECT_EQ(job.read_write_key_nr, 0);

  const QList<AccessEntry> one = AccessListFor(1);
  ASSERT_EQ(one.size(), 3);
  EXPECT_EQ(one[2].text, QStringLiteral("App Master Key"));
  EXPECT_EQ(one[2].nibble, 0);

  const QList<AccessEntry> full = AccessListFor(14);
  ASSERT_EQ(full.size(), 16);
  EXPECT_EQ(full[3].text, QStringLiteral("Key 1"));
  EXPECT_EQ(full[15].text, QStringLiteral("Key 13"));
  EXPECT_EQ(full[15].nibble, 13);
}

struct FieldCase {
  const char *name;
  FieldValue (*parse)(QStringView);
  const char *text;
  int value;        // when accepted
  QString message;  // empty when accepted
  JobField field;
};

class FieldExchangeTest : public testing::TestWithParam<FieldCase> {};

TEST_P(FieldExchangeTest, AcceptsOrRefuses) {
  const FieldCase &c = GetParam();
  const FieldValue got = c.parse(QString::fromUtf8(c.text));
  EXPECT_EQ(got.check.ok, c.message.isEmpty());
  EXPECT_EQ(got.check.message, c.message);
  if (got.check.ok) {
    EXPECT_EQ(got.value, c.value);
  } else {
    EXPECT_EQ(got.check.field, c.field);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FieldExchangeTest,
    testing::Values(
        FieldCase{"AppIdHex", ParseAppId, "a1b2C3", 0xA1B2C3, {}, JobField::kAppId},
        FieldCase{"AppIdZero", ParseAppId, "0", 0, Range("1", "FFFFFF"), JobField::kAppId},
        FieldCase{"AppIdEmpty", ParseAppId, "", 0, QStringLiteral("Geben Sie eine ganze Zahl ein."),
                  JobField::kAppId},
        FieldCase{"AppIdTooLarge", ParseAppId, "1000000", 0, Range("1", "FFFFFF"),
                  JobField::kAppId},
        FieldCase{"AppIdHuge", ParseAppId, "FFFFFFFFFFFFFFFFFFFFFFFF", 0, Range("1", "FFFFFF"),
                  JobField::kAppId},
        FieldCase{"AppIdNotHex", ParseAppId, "12G", 0,
                  QStringLiteral("Geben Sie eine ganze Zahl ein."), JobField::kAppId},
        FieldCase{"FileIdMax", ParseFileId, "1f", 0x1F, {}, JobField::kFileId},
        FieldCase{"FileIdTooLarge", ParseFileId, "20", 0, Range("0", "1F"), JobField::kFileId},
        FieldCase{"KeyCountMax", ParseKeyCount, "14", 14, {}, JobField::kKeyCount},
        FieldCase{"KeyCountTooLarge", ParseKeyCount, "15", 0, Range("0", "14"),
                  JobField::kKeyCount},
        FieldCase{"KeyCountNegative", ParseKeyCount, "-1", 0, Range("0", "14"),
                  JobField::kKeyCount},
        FieldCase{"KeyCountNotANumber", ParseKeyCount, "zwei", 0,
                  QStringLiteral("Geben Sie eine ganze Zahl ein."), JobField::kKeyCount},
        FieldCase{"LengthZero", ParseLength, "0", 0, {}, JobField::kLength},
        FieldCase{"Length100000", ParseLength, "100000", 100000, {}, JobField::kLength},
        FieldCase{"LengthOver24Bits", ParseLength, "16777216", 0, Range("0", "16777215"),
                  JobField::kLength}),
    [](const auto &param_info) { return std::string(param_info.param.name); });

// A job that passes as it stands: binary decimal, read on key 1, write on key 2.
DesfireSet GoodJob() {
  DesfireSet job;
  job.representation = Representation::kBinary;
  job.number_format = NumberFormat::kDecimal;
  job.length = 8;
  job.data = QStringLiteral("1000");
  job.read_key_nr = 3;
  job.read_key = QStringLiteral("11");
  job.write_key_nr = 4;
  job.write_key = QStringLiteral("22");
  return job;
}

const QString kMasterNotWhole = QStringLiteral(
    "Ein pro Karte abgeleiteter Key braucht einen Hauptschlüssel mit 32 Hex-Ziffern");

void DeriveWriteKey(DesfireSet &job) {
  job.write_key = QString(32, u'2');
  job.write_key_derived = true;
}

struct RefusalCase {
  const char *name;
  void (*change)(DesfireSet &);
  bool for_write;  // else ValidateReadJob
  QString message;
  JobField field;
};

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, NamesMessageAndField) {
  const RefusalCase &c = GetParam();
  DesfireSet job = GoodJob();
  c.change(job);
  KeyPlan plan;
  const JobCheck check = c.for_write ? ValidateWriteJob(job, plan) : ValidateReadJob(job, plan);
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.message, c.message);
  EXPECT_EQ(check.field, c.field);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalTest,
    testing::Values(
        RefusalCase{"EmptyData", [](DesfireSet &j) { j.data.clear(); }, true,
                    QStringLiteral("Keine Daten vorhanden!"), JobField::kData},
        RefusalCase{"DecimalLength9Write", [](DesfireSet &j) { j.length = 9; }, true,
                    kLengthOverDecimal, JobField::kLength},
        RefusalCase{"DecimalLength9Read", [](DesfireSet &j) { j.length = 9; }, false,
                    kLengthOverDecimal, JobField::kLength},
        RefusalCase{"NotDecimal", [](DesfireSet &j) { j.data = QStringLiteral("12a"); }, true,
                    QStringLiteral("Keine Dezimal-Eingabe"), JobField::kData},
        RefusalCase{"NegativeIsNotDecimal", [](DesfireSet &j) { j.data = QStringLiteral("-1"); },
                    true, QStringLiteral("Keine Dezimal-Eingabe"), JobField::kData},
        RefusalCase{"NotHexData",
                    [](DesfireSet &j) {
                      j.number_format = NumberFormat::kHexadecimal;
                      j.data = QStringLiteral("12G");
                    },
                    true, kNotHex, JobField::kData},
        RefusalCase{"NoNumberNeedsHexToo",
                    [](DesfireSet &j) {
                      j.number_format = NumberFormat::kNone;
                      j.data = QStringLiteral("1 2");
                    },
                    true, kNotHex, JobField::kData},
        RefusalCase{"CardKeyNotHex", [](DesfireSet &j) { j.card_key = QStringLiteral("XY"); }, true,
                    kNotHex, JobField::kCardKey},
        RefusalCase{"CardKeyOver32Digits", [](DesfireSet &j) { j.card_key = QString(33, u'1'); },
                    false, kNotHex, JobField::kCardKey},
        RefusalCase{"AppKeyNotHex", [](DesfireSet &j) { j.app_key = QStringLiteral("0x11"); }, true,
                    kNotHex, JobField::kAppKey},
        RefusalCase{"ReadKeyNotHex", [](DesfireSet &j) { j.read_key = QStringLiteral("ü"); }, false,
                    kNotHex, JobField::kReadKey},
        RefusalCase{"WriteKeyNotHex", [](DesfireSet &j) { j.write_key = QStringLiteral("g"); },
                    true, kNotHex, JobField::kWriteKey},
        RefusalCase{"ReadWriteKeyNotHex",
                    [](DesfireSet &j) {
                      j.read_write_key_nr = 5;
                      j.read_write_key = QStringLiteral("-");
                    },
                    true, kNotHex, JobField::kReadWriteKey},
        RefusalCase{"NoReadAccessEvenForWriting",
                    [](DesfireSet &j) {
                      j.read_key_nr = 0;
                      j.read_write_key_nr = 0;
                    },
                    true, kNoReadAccess, JobField::kNone},
        RefusalCase{"NoWriteAccess",
                    [](DesfireSet &j) {
                      j.write_key_nr = 0;
                      j.read_write_key_nr = 0;
                    },
                    false, kNoWriteAccess, JobField::kNone},
        RefusalCase{"AppIdOutOfRange", [](DesfireSet &j) { j.app_id = 0x1000000; }, true,
                    Range("1", "FFFFFF"), JobField::kAppId},
        RefusalCase{"FileIdOutOfRange", [](DesfireSet &j) { j.file_id = 32; }, false,
                    Range("0", "1F"), JobField::kFileId},
        RefusalCase{"KeyCountOutOfRange", [](DesfireSet &j) { j.key_count = 15; }, true,
                    Range("0", "14"), JobField::kKeyCount},
        RefusalCase{"NegativeLength", [](DesfireSet &j) { j.length = -1; }, true,
                    Range("0", "16777215"), JobField::kLength},
        // A key derived per card needs its master key whole: a short one is zero-filled.
        RefusalCase{"DerivedReadKeyShort", [](DesfireSet &j) { j.read_key_derived = true; }, false,
                    kMasterNotWhole, JobField::kReadKey},
        RefusalCase{"DerivedCardKeyEmpty", [](DesfireSet &j) { j.card_key_derived = true; }, true,
                    kMasterNotWhole, JobField::kCardKey},
        RefusalCase{"DerivedAppKeyAsReadRight",
                    [](DesfireSet &j) {
                      j.read_key_nr = 2;  // the app master key
                      j.app_key = QStringLiteral("12");
                      j.app_key_derived = true;
                    },
                    true, kMasterNotWhole, JobField::kAppKey},
        RefusalCase{"SystemIdentifierOddHex",
                    [](DesfireSet &j) {
                      DeriveWriteKey(j);
                      j.system_identifier = QStringLiteral("0x123");
                    },
                    true, kNotHex, JobField::kSystemIdentifier},
        RefusalCase{"SystemIdentifierTooLong",
                    [](DesfireSet &j) {
                      DeriveWriteKey(j);
                      j.system_identifier = QString(22, u'S');
                    },
                    false,
                    QStringLiteral("Die System-Kennung hat 22 Bytes, höchstens 21 sind möglich"),
                    JobField::kSystemIdentifier}),
    [](const auto &param_info) { return std::string(param_info.param.name); });

TEST(ValidateJob, AcceptsAbsurdButLegalLengths) {
  // The card decides about sizes it cannot hold; only decimal binary is bounded here.
  for (int length : {1, 8, 7600, 100000}) {
    DesfireSet job;  // ASCII
    job.data = QStringLiteral("A");
    job.length = length;
    KeyPlan plan;
    EXPECT_TRUE(ValidateWriteJob(job, plan).ok) << length;
    EXPECT_TRUE(ValidateReadJob(job, plan).ok) << length;
  }
  DesfireSet decimal = GoodJob();
  KeyPlan plan;
  EXPECT_TRUE(ValidateWriteJob(decimal, plan).ok);  // 8 bytes decimal
  decimal.data.clear();
  EXPECT_TRUE(ValidateReadJob(decimal, plan).ok);  // the data text is not read for reading
}

// A value the file cannot hold whole is refused on the data field before any card is touched:
// the card would get it cut and the log would claim the whole value.
TEST(ValidateJob, RefusesAValueTheFileCannotHoldWhole) {
  const struct {
    Representation representation;
    NumberFormat format;
    int length;
    const char *value;
    bool fits;
  } cases[] = {
      {Representation::kAscii, NumberFormat::kDecimal, 4, "1234", true},
      {Representation::kAscii, NumberFormat::kDecimal, 4, "12345", false},
      {Representation::kAscii, NumberFormat::kNone, 0, "A", false},
      {Representation::kBinary, NumberFormat::kHexadecimal, 2, "FFFF", true},
      {Representation::kBinary, NumberFormat::kHexadecimal, 2, "10000", false},
      {Representation::kBinary, NumberFormat::kNone, 1, "ABC", false},
      {Representation::kBinary, NumberFormat::kDecimal, 1, "255", true},
      {Representation::kBinary, NumberFormat::kDecimal, 1, "256", false},
      {Representation::kBinary, NumberFormat::kDecimal, 8, "18446744073709551615", true},
      {Representation::kBinary, NumberFormat::kDecimal, 8, "18446744073709551616", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    DesfireSet job = GoodJob();
    job.representation = c.representation;
    job.number_format = c.format;
    job.length = c.length;
    job.data = QString::fromLatin1(c.value);
    KeyPlan plan;
    const JobCheck check = ValidateWriteJob(job, plan);
    EXPECT_EQ(check.ok, c.fits) << check.message.toStdString();
    if (!c.fits) {
      EXPECT_EQ(check.field, JobField::kData);
      EXPECT_EQ(check.message,
                QStringLiteral("Der Wert <%1> passt nicht in die Datei mit %2 Bytes!")
                    .arg(QString::fromLatin1(c.value))
                    .arg(c.length));
    }
  }
}

QByteArray Key(const char *hex) {
  QByteArray key = QByteArray::fromHex(hex);
  key.append(QByteArray(16 - key.size(), '\0'));
  return key;
}

TEST(HexKeyToBytes, PairsFromTheLeftThenZeros) {
  EXPECT_EQ(HexKeyToBytes(u""), QByteArray());
  EXPECT_EQ(HexKeyToBytes(u"A1b2"), Key("a1b2"));
  EXPECT_EQ(HexKeyToBytes(u"7"), Key("07"));
  EXPECT_EQ(HexKeyToBytes(u"ABC"), Key("ab0c"));
  EXPECT_EQ(HexKeyToBytes(u"00112233445566778899AABBCCDDEEFF"),
            QByteArray::fromHex("00112233445566778899AABBCCDDEEFF"));
}

// Which keys the plan derives: a right takes the flag of the key it uses, a right sharing an
// earlier right's key number that right's flag, free access none; the system identifier as text
// or as hex bytes; a job without a derived key leaves the identifier alone.
TEST(BuildKeyPlan, DerivationFollowsTheKeyEachRightUses) {
  DesfireSet job = GoodJob();
  job.key_count = 4;
  job.app_key = QString(32, u'A');
  job.app_key_derived = true;
  job.read_key_nr = 2;  // app master key
  DeriveWriteKey(job);
  job.read_write_key_nr = 4;  // key 2, like write: the write right's key and flag
  job.read_write_key_derived = false;
  job.system_identifier = QStringLiteral("0x4b56");
  KeyPlan plan;
  ASSERT_TRUE(ValidateWriteJob(job, plan).ok);
  const KeyDerivation &d = plan.derivation;
  EXPECT_FALSE(d.card_master_key);
  EXPECT_TRUE(d.app_master_key);
  EXPECT_TRUE(d.read_key);
  EXPECT_TRUE(d.write_key);
  EXPECT_TRUE(d.read_write_key);
  EXPECT_EQ(d.system_identifier, QByteArray("\x4B\x56"));
  EXPECT_EQ(d.app_id, job.app_id);

  job.system_identifier = QStringLiteral("Halle 3");
  job.read_write_key_nr = 1;  // free access derives nothing
  ASSERT_TRUE(ValidateWriteJob(job, plan).ok);
  EXPECT_FALSE(plan.derivation.read_write_key);
  EXPECT_EQ(plan.derivation.system_identifier, QByteArray("Halle 3"));

  DesfireSet plain = GoodJob();
  plain.system_identifier = QStringLiteral("0xZZ");  // not used: not checked
  ASSERT_TRUE(ValidateWriteJob(plain, plan).ok);
  EXPECT_FALSE(plan.derivation.Any());
}

TEST(BuildKeyPlan, OwnKeysForReadAndWrite) {
  DesfireSet job = GoodJob();
  job.card_key = QStringLiteral("C0");
  job.app_key = QStringLiteral("A0");
  job.read_write_key_nr = 1;  // free
  job.read_write_key = QStringLiteral("not hex, not looked at");
  KeyPlan plan;
  ASSERT_TRUE(BuildKeyPlan(job, plan).ok);
  EXPECT_EQ(plan.card_master_key, Key("c0"));
  EXPECT_EQ(plan.app_master_key, Key("a0"));
  EXPECT_EQ(plan.read_nibble, 1);
  EXPECT_EQ(plan.write_nibble, 2);
  EXPECT_EQ(plan.read_write_nibble, 14);
  EXPECT_EQ(plan.read_key, Key("11"));
  EXPECT_EQ(plan.write_key, Key("22"));
  EXPECT_TRUE(plan.read_write_key.isEmpty());
  EXPECT_EQ(AccessRightsWord(plan, job.key_count), 0x12E0);
}

TEST(BuildKeyPlan, FirstRightOnAKeyNumberDecides) {
  DesfireSet job = GoodJob();
  job.read_key_nr = 3;  // key 1, value A
  job.read_key = QStringLiteral("AA");
  job.write_key_nr = 3;  // key 1 again: its text is neither checked nor used
  job.write_key = QStringLiteral("not hex");
  job.read_write_key_nr = 3;
  job.read_write_key = QStringLiteral("also not hex");
  KeyPlan plan;
  ASSERT_TRUE(BuildKeyPlan(job, plan).ok);
  EXPECT_EQ(plan.write_key, Key("aa"));
  EXPECT_EQ(plan.read_write_key, Key("aa"));

  job.read_key_nr = 1;  // free; write and read/write share key 2
  job.write_key_nr = 4;
  job.write_key = QStringLiteral("BB");
  job.read_write_key_nr = 4;
  ASSERT_TRUE(BuildKeyPlan(job, plan).ok);
  EXPECT_EQ(plan.read_write_key, Key("bb"));
}

TEST(BuildKeyPlan, AppMasterKeyRightAndKeyCountZero) {
  DesfireSet job = GoodJob();
  job.app_key = QStringLiteral("A0");
  job.read_key_nr = 2;  // "App Master Key"
  KeyPlan plan;
  ASSERT_TRUE(BuildKeyPlan(job, plan).ok);
  EXPECT_EQ(plan.read_nibble, 0);
  EXPECT_EQ(plan.read_key, Key("a0"));
  EXPECT_EQ(AccessRightsWord(plan, 14), 0x02E0);

  job.key_count = 0;  // the app master key is ignored, even when it is not hex
  job.app_key = QStringLiteral("zz");
  job.read_key_nr = 1;
  job.write_key_nr = 1;
  ASSERT_TRUE(BuildKeyPlan(job, plan).ok);
  EXPECT_TRUE(plan.app_master_key.isEmpty());
  EXPECT_EQ(AccessRightsWord(plan, job.key_count), 0xEEEE);
}

TEST(BuildKeyPlan, IndexPastTheListMeansNoAccess) {
  // A job file can pair an index with a smaller key count; it must not turn into free access.
  DesfireSet job = GoodJob();
  job.key_count = 2;      // list: none, free, app master key, key 1
  job.write_key_nr = 16;  // would be nibble 14 (free) if taken as it stands
  job.read_write_key_nr = 0;
  KeyPlan plan;
  const JobCheck check = BuildKeyPlan(job, plan);
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.message, kNoWriteAccess);
}

}  // namespace
}  // namespace quillmate
