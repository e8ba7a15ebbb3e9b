// Job files: saved and loaded back with their keys protected, defaults for missing keys, and
// damaged or missing files refused with the job kept.
#include "writer/job/job_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/ini_store.h"
#include "writer/job/job_keys.h"
#include "writer/job/key_plan.h"
#include "writer/settings/settings_store.h"

namespace quillmate {

// Defined with the settings store tests.
void ExpectSameJob(const DesfireSet &actual, const DesfireSet &expected);

namespace {

constexpr char kKnownKey[] = "0123456789ABCDEF";
constexpr char kKnownStored[] = "X1Y0OV38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c4k=";

DesfireSet SeriesJob() {
  DesfireSet job;
  job.data = QStringLiteral("Los Ä-0100 Ende");
  job.length = 12;
  job.number_format = NumberFormat::kNone;
  job.representation = Representation::kAscii;
  job.orientation = Orientation::kRotated;
  job.app_id = 0x123456;
  job.file_id = 2;
  job.file_mode = FileMode::kPlainWithMac;
  job.card_key = QString::fromLatin1(kKnownKey);
  job.app_key = QStringLiteral("FFEEDDCCBBAA99887766554433221100");
  job.key_count = 3;
  job.read_key_nr = 3;
  job.write_key_nr = 4;
  job.read_write_key_nr = 0;
  job.read_key = QStringLiteral("AB");
  job.write_key = QStringLiteral("ABCD");
  job.read_write_key = QStringLiteral("ABCDEF");
  job.auto_increment = true;
  job.leading_zeros = true;
  job.prefix_allowed = true;
  return job;
}

QByteArray ReadAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString &path, const QByteArray &content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content);
}

class JobFileTest : public testing::Test {
 protected:
  QTemporaryDir dir_;
  QString path_ = dir_.filePath(QStringLiteral("serie.KVMFDat"));
};

TEST_F(JobFileTest, SavedJobLoadsBackWithKeysInOrderAndProtected) {
  ASSERT_TRUE(SaveJobFile(path_, SeriesJob()).ok);
  DesfireSet loaded;
  ASSERT_TRUE(LoadJobFile(path_, loaded).ok);
  ExpectSameJob(loaded, SeriesJob());

  const QByteArray text = ReadAll(path_);
  EXPECT_FALSE(text.contains(kKnownKey));
  EXPECT_FALSE(text.contains("FFEEDDCCBBAA99887766554433221100"));
  EXPECT_TRUE(text.contains(QByteArray("CardKey=") + kKnownStored + "\n"));
  QStringList keys;
  for (const QByteArray &line : text.split('\n')) {
    if (!line.isEmpty()) keys << QString::fromUtf8(line.split('=').first());
  }
  EXPECT_EQ(keys.join(QLatin1Char(' ')).toStdString(),
            std::string("[Settings] Wert AutoIncrement AutoNull PrefixZulassen Byteanzahl "
                        "Zahlenformat Darstellung Ausrichtung AppID FileID FileMode KeyAnzahl "
                        "ReadKeyNr WriteKeyNr ReadWriteKeyNr CardKey AppKey ReadKey WriteKey "
                        "ReadWriteKey SystemKennung"));
}

TEST_F(JobFileTest, MissingKeysTakeTheJobFileDefaults) {
  WriteAll(path_, "[Settings]\r\nAppID=5\r\n");
  DesfireSet loaded = SeriesJob();
  ASSERT_TRUE(LoadJobFile(path_, loaded).ok);
  DesfireSet expected;  // the settings' first-start job ...
  expected.app_id = 5;
  expected.auto_increment = false;  // ... but for these two
  expected.representation = Representation::kBinary;
  ExpectSameJob(loaded, expected);
}

// A file without a single job key is not a job: loading it as the default job would write cards
// nobody asked for. Values that do not parse are left to the job check, which names the field.
TEST_F(JobFileTest, AFileWithoutJobKeysIsRefusedAndTheJobKept) {
  const QByteArray not_jobs[] = {
      "",
      QByteArray("\x00\x01\x02\xff garbage\n", 14),
      "[Andere]\r\nAppID=5\r\n",
      "[Settings]\r\nAp",       // cut off before its first key
      "AppID=5\r\nWert=1\r\n",  // keys outside any section
  };
  for (const QByteArray &content : not_jobs) {
    WriteAll(path_, content);
    DesfireSet job = SeriesJob();
    const JobFileResult loaded = LoadJobFile(path_, job);
    EXPECT_FALSE(loaded.ok) << content.toHex().constData();
    EXPECT_TRUE(loaded.message.contains(QStringLiteral("keinen Auftrag")))
        << loaded.message.toStdString();
    ExpectSameJob(job, SeriesJob());
  }
}

TEST_F(JobFileTest, ADamagedStoredKeyIsRefusedNotTakenForTheDefaultKey) {
  WriteAll(path_, QByteArray("[Settings]\r\nAppID=5\r\nCardKey=") + kKnownStored +
                      "\r\nAppKey=QUJDREVG\r\n");
  DesfireSet job = SeriesJob();
  const JobFileResult loaded = LoadJobFile(path_, job);
  EXPECT_FALSE(loaded.ok);
  EXPECT_TRUE(loaded.message.contains(QStringLiteral("\"AppKey\"")))
      << loaded.message.toStdString();
  ExpectSameJob(job, SeriesJob());
}

TEST_F(JobFileTest, AMissingFileFailsAndIsNotCreated) {
  DesfireSet job = SeriesJob();
  EXPECT_FALSE(LoadJobFile(path_, job).ok);
  ExpectSameJob(job, SeriesJob());
  EXPECT_FALSE(JobFileValueStore(path_).Store(QStringLiteral("1")));
  EXPECT_FALSE(QFile::exists(path_));
}

TEST_F(JobFileTest, SavingOverAnOldFileReplacesItWhole) {
  WriteAll(path_, "[Settings]\nWert=alt\nAppID=7\nEigen=bleibt\n[Andere]\nx=1\n");
  ASSERT_TRUE(SaveJobFile(path_, SeriesJob()).ok);
  DesfireSet loaded;
  ASSERT_TRUE(LoadJobFile(path_, loaded).ok);
  ExpectSameJob(loaded, SeriesJob());
  const QByteArray text = ReadAll(path_);
  EXPECT_TRUE(text.contains("Eigen=bleibt\n"));  // foreign keys and sections are kept
  EXPECT_TRUE(text.endsWith("[Andere]\nx=1\n"));
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{QStringLiteral("serie.KVMFDat")});
}

TEST_F(JobFileTest, ALineBreakInAValueIsRefusedAndNothingWritten) {
  WriteAll(path_, "[Settings]\nWert=alt\n");
  const struct {
    QString DesfireSet::*field;
    const char *key;
  } cases[] = {{&DesfireSet::data, "Wert"},
               {&DesfireSet::card_key, "CardKey"},
               {&DesfireSet::read_write_key, "ReadWriteKey"}};
  for (const auto &c : cases) {
    for (const char *text : {"1\nAppID=99", "1\r2"}) {
      DesfireSet job = SeriesJob();
      job.*c.field = QString::fromLatin1(text);
      const JobFileResult result = SaveJobFile(path_, job);
      EXPECT_FALSE(result.ok) << c.key;
      EXPECT_TRUE(result.message.contains(QLatin1String(c.key))) << result.message.toStdString();
    }
  }
  EXPECT_FALSE(JobFileValueStore(path_).Store(QStringLiteral("2\n3")));
  EXPECT_EQ(ReadAll(path_), QByteArray("[Settings]\nWert=alt\n"));
}

TEST_F(JobFileTest, ValueStoreRewritesOnlyTheValueAtOnce) {
  ASSERT_TRUE(SaveJobFile(path_, SeriesJob()).ok);
  ASSERT_TRUE(JobFileValueStore(path_).Store(QStringLiteral("Los Ä-0101 Ende")));
  DesfireSet loaded;
  ASSERT_TRUE(LoadJobFile(path_, loaded).ok);
  DesfireSet expected = SeriesJob();
  expected.data = QStringLiteral("Los Ä-0101 Ende");
  ExpectSameJob(loaded, expected);
}

// Keys derived per card round-trip, and a file holding them stops a program that knows no
// derivation: its loader deciphers the key text with the mark, and its job check refuses that text
// (also cut to the 32 characters its key field holds) before any card, so no card ever gets the
// master key itself.
TEST_F(JobFileTest, DerivedKeysRoundTripAndStopAProgramWithoutDerivation) {
  DesfireSet job = SeriesJob();
  job.card_key = QStringLiteral("00112233445566778899AABBCCDDEEFF");
  job.card_key_derived = true;
  job.app_key_derived = true;
  job.system_identifier = QStringLiteral("0x4B56");
  ASSERT_TRUE(SaveJobFile(path_, job).ok);
  DesfireSet loaded;
  ASSERT_TRUE(LoadJobFile(path_, loaded).ok);
  ExpectSameJob(loaded, job);

  CIniEx store;
  const QByteArray text = ReadAll(path_);
  store.ParseText(std::string_view(text.constData(), static_cast<size_t>(text.size())));
  const auto stored = [&store](const char *key) {
    return QString::fromStdString(store.GetString("Settings", key, ""));
  };
  EXPECT_EQ(stored("SystemKennung"), QStringLiteral("0x4B56"));
  EXPECT_EQ(DeobfuscateKey(stored("ReadKey")), QStringLiteral("AB"));  // not derived: as before
  for (const char *key : {"CardKey", "AppKey"}) {
    SCOPED_TRACE(key);
    const QString clear = DeobfuscateKey(stored(key));
    EXPECT_TRUE(clear.startsWith(QLatin1String(kDerivedKeyMark)));
    EXPECT_FALSE(IsKeyText(clear));
    EXPECT_FALSE(IsKeyText(clear.left(kMaxKeyDigits)));
  }
  // What the older loader gives: the stored texts as they decipher, no flags.
  DesfireSet older = job;
  older.card_key_derived = older.app_key_derived = false;
  older.card_key = DeobfuscateKey(stored("CardKey"));
  older.data = QStringLiteral("1");
  older.number_format = NumberFormat::kDecimal;
  older.representation = Representation::kBinary;
  older.length = 8;
  KeyPlan plan;
  const JobCheck check = ValidateWriteJob(older, plan);
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.message, QStringLiteral("Keine Hex-Eingabe"));
  EXPECT_EQ(check.field, JobField::kCardKey);

  // A job without derivation is stored as before: no mark on any key.
  ASSERT_TRUE(SaveJobFile(path_, SeriesJob()).ok);
  EXPECT_TRUE(ReadAll(path_).contains(QByteArray("CardKey=") + kKnownStored + "\n"));
}

TEST(JobFileName, ExtensionAppendedOnlyWhenMissing) {
  const struct {
    const char *in;
    const char *out;
  } cases[] = {{"/a/serie", "/a/serie.KVMFDat"},
               {"/a/serie.txt", "/a/serie.txt"},
               {"/a.b/serie", "/a.b/serie.KVMFDat"},
               {"serie.KVMFDat", "serie.KVMFDat"}};
  for (const auto &c : cases) {
    EXPECT_EQ(WithJobFileExtension(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
  }
}

}  // namespace
}  // namespace quillmate
