// The settings store: defaults, every field across a restart, protected keys, and damaged files
// never taken for settings or rewritten.
#include "writer/settings/settings_store.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>

#include "support/file_lock.h"

namespace quillmate {
namespace {

constexpr char kKnownKey[] = "0123456789ABCDEF";
constexpr char kKnownStored[] = "X1Y0OV38j+v5tdTXX1yyDjYtMsD7DvxZXSoDAsE7c4k=";

DesfireSet ChangedJob() {
  DesfireSet job;
  job.data = QStringLiteral("Serie Ä-0042");
  job.length = 7;
  job.number_format = NumberFormat::kHexadecimal;
  job.representation = Representation::kBinary;
  job.orientation = Orientation::kRotated;
  job.app_id = 0xA1B2C3;
  job.file_id = 0x1F;
  job.file_mode = FileMode::kEnciphered;
  job.card_key = QString::fromLatin1(kKnownKey);
  job.app_key = QStringLiteral("00112233445566778899AABBCCDDEEFF");
  job.key_count = 5;
  job.read_key_nr = 2;
  job.write_key_nr = 3;
  job.read_write_key_nr = 0;
  job.read_key = QStringLiteral("11");
  job.write_key = QStringLiteral("2222");
  job.read_write_key = QStringLiteral("333333");
  job.auto_increment = false;
  job.leading_zeros = true;
  job.prefix_allowed = true;
  return job;
}

}  // namespace

// Every field compared, so a field forgotten on either side shows by name. Shared with the job
// file tests, which declare it too.
void ExpectSameJob(const DesfireSet &actual, const DesfireSet &expected);
void ExpectSameJob(const DesfireSet &actual, const DesfireSet &expected) {
  EXPECT_EQ(actual.data, expected.data);
  EXPECT_EQ(actual.length, expected.length);
  EXPECT_EQ(actual.number_format, expected.number_format);
  EXPECT_EQ(actual.representation, expected.representation);
  EXPECT_EQ(actual.orientation, expected.orientation);
  EXPECT_EQ(actual.app_id, expected.app_id);
  EXPECT_EQ(actual.file_id, expected.file_id);
  EXPECT_EQ(actual.file_mode, expected.file_mode);
  EXPECT_EQ(actual.card_key, expected.card_key);
  EXPECT_EQ(actual.app_key, expected.app_key);
  EXPECT_EQ(actual.key_count, expected.key_count);
  EXPECT_EQ(actual.read_key_nr, expected.read_key_nr);
  EXPECT_EQ(actual.write_key_nr, expected.write_key_nr);
  EXPECT_EQ(actual.read_write_key_nr, expected.read_write_key_nr);
  EXPECT_EQ(actual.read_key, expected.read_key);
  EXPECT_EQ(actual.write_key, expected.write_key);
  EXPECT_EQ(actual.read_write_key, expected.read_write_key);
  EXPECT_EQ(actual.auto_increment, expected.auto_increment);
  EXPECT_EQ(actual.leading_zeros, expected.leading_zeros);
  EXPECT_EQ(actual.prefix_allowed, expected.prefix_allowed);
  EXPECT_EQ(actual.card_key_derived, expected.card_key_derived);
  EXPECT_EQ(actual.app_key_derived, expected.app_key_derived);
  EXPECT_EQ(actual.read_key_derived, expected.read_key_derived);
  EXPECT_EQ(actual.write_key_derived, expected.write_key_derived);
  EXPECT_EQ(actual.read_write_key_derived, expected.read_write_key_derived);
  EXPECT_EQ(actual.system_identifier, expected.system_identifier);
}

namespace {

class SettingsStoreTest : public testing::Test {
 protected:
  QTemporaryDir dir_;
  // A QSettings of its own on the same file: what another process would find there.
  QVariant RawValue(const char *key) const {
    SettingsStore store(dir_.path());
    return QSettings(store.FileName(), QSettings::IniFormat).value(QLatin1String(key));
  }
  // The store's file written and read byte for byte, as a hand or a damage leaves it.
  static void WriteBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  static QByteArray ReadBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
};

// A file QSettings cannot read is never written: not by a save, not by a value of a series, not
// by the write-back of the cycle values, and not when the store goes away.
TEST_F(SettingsStoreTest, AnUnreadableFileIsNeverWritten) {
  const QString path = SettingsStore(dir_.path()).FileName();
  const QByteArray garbage("\x13\xfe[\x87\n\x01zz\xff\n");
  WriteBytes(path, garbage);
  {
    SettingsStore store(dir_.path());
    EXPECT_FALSE(store.Readable());
    EXPECT_TRUE(store.Problem().contains(path));
    store.LoadOperatorSettings();
    EXPECT_FALSE(store.SaveJob(DesfireSet{}));
    EXPECT_FALSE(store.SaveOperatorSettings(OperatorSettings{}));
    EXPECT_FALSE(SettingsValueStore(store).Store(QStringLiteral("5")));
  }
  EXPECT_EQ(ReadBytes(path), garbage);
}

TEST_F(SettingsStoreTest, EmptyStoreGivesFirstStartDefaultsAndWritesCycleValuesBack) {
  SettingsStore store(dir_.path());
  ExpectSameJob(store.LoadJob(), DesfireSet{});

  const OperatorSettings settings = store.LoadOperatorSettings();
  EXPECT_EQ(settings.language, quillmate::Language::kGerman);
  EXPECT_TRUE(settings.show_keys);
  EXPECT_FALSE(settings.logs.write_enabled);
  EXPECT_FALSE(settings.logs.read_enabled);
  EXPECT_TRUE(settings.logs.write_file.endsWith(QStringLiteral("/Protokoll_S.txt")));
  EXPECT_TRUE(settings.logs.read_file.endsWith(QStringLiteral("/Protokoll_L.txt")));
  EXPECT_EQ(settings.cycle_period_ms, 250);
  EXPECT_EQ(settings.beep_time_ms, 300);
  EXPECT_EQ(settings.port.name, QString());
  EXPECT_EQ(settings.port.baud_rate, 19200);
  EXPECT_EQ(settings.port.timeout_ms, 500);
  EXPECT_EQ(settings.port.address, 1);
  EXPECT_FALSE(settings.port.ethernet_active);
  EXPECT_TRUE(settings.update_check);

  EXPECT_EQ(RawValue("Settings/ZyklusZeit").toInt(), 250);
  EXPECT_EQ(RawValue("Settings/BeepTime").toInt(), 300);
  EXPECT_FALSE(RawValue("Settings/AppID").isValid());  // nothing else is written on loading
}

// Keys derived per card survive a restart in the settings, and switching derivation off again
// leaves no mark behind.
TEST_F(SettingsStoreTest, DerivedKeysSurviveARestart) {
  DesfireSet job = ChangedJob();
  job.app_key_derived = true;
  job.read_write_key_derived = true;
  job.system_identifier = QStringLiteral("Halle 3");
  for (const bool derived : {true, false}) {
    SCOPED_TRACE(derived);
    if (!derived) {
      job.app_key_derived = job.read_write_key_derived = false;
      job.system_identifier.clear();
    }
    {
      SettingsStore store(dir_.path());
      ASSERT_TRUE(store.SaveJob(job));
    }
    SettingsStore again(dir_.path());
    QStringList unreadable;
    ExpectSameJob(again.LoadJob(&unreadable), job);
    EXPECT_TRUE(unreadable.isEmpty());
  }
}

TEST_F(SettingsStoreTest, EveryFieldSurvivesARestart) {
  OperatorSettings settings;
  settings.language = quillmate::Language::kEnglish;
  settings.show_keys = false;
  settings.logs = {true, QStringLiteral("/tmp/s.txt"), true, QStringLiteral("/tmp/l.txt")};
  settings.cycle_period_ms = 1000;
  settings.beep_time_ms = 0;
  settings.port = {QStringLiteral("USB: Leser"), 115203, 2000, 17, true};
  settings.update_check = false;
  {
    SettingsStore store(dir_.path());
    ASSERT_TRUE(store.SaveJob(ChangedJob()));
    ASSERT_TRUE(store.SaveOperatorSettings(settings));
  }
  SettingsStore store(dir_.path());
  ExpectSameJob(store.LoadJob(), ChangedJob());
  const OperatorSettings loaded = store.LoadOperatorSettings();
  EXPECT_EQ(loaded.language, quillmate::Language::kEnglish);
  EXPECT_FALSE(loaded.show_keys);
  EXPECT_TRUE(loaded.logs.write_enabled);
  EXPECT_TRUE(loaded.logs.read_enabled);
  EXPECT_EQ(loaded.logs.write_file, settings.logs.write_file);
  EXPECT_EQ(loaded.logs.read_file, settings.logs.read_file);
  EXPECT_EQ(loaded.cycle_period_ms, 1000);
  EXPECT_EQ(loaded.beep_time_ms, 0);
  EXPECT_EQ(loaded.port.name, settings.port.name);
  EXPECT_EQ(loaded.port.baud_rate, 115203);
  EXPECT_EQ(loaded.port.timeout_ms, 2000);
  EXPECT_EQ(loaded.port.address, 17);
  EXPECT_TRUE(loaded.port.ethernet_active);
  EXPECT_FALSE(loaded.update_check);
}

TEST_F(SettingsStoreTest, KeysAreStoredProtected) {
  SettingsStore store(dir_.path());
  ASSERT_TRUE(store.SaveJob(ChangedJob()));
  EXPECT_EQ(RawValue("Settings/CardKey").toString(), QString::fromLatin1(kKnownStored));
  QFile file(store.FileName());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_FALSE(text.contains(kKnownKey));
  EXPECT_FALSE(text.contains("00112233445566778899AABBCCDDEEFF"));
  EXPECT_EQ(store.LoadJob().card_key, QString::fromLatin1(kKnownKey));
}

TEST_F(SettingsStoreTest, GarbageTakesDefaults) {
  {
    QSettings raw(SettingsStore(dir_.path()).FileName(), QSettings::IniFormat);
    raw.setValue(QStringLiteral("Settings/Byteanzahl"), QStringLiteral("viele"));
    raw.setValue(QStringLiteral("Settings/CardKey"), QStringLiteral("kein Base64!"));
    raw.setValue(QStringLiteral("Settings/ZyklusZeit"), 5);
  }
  SettingsStore store(dir_.path());
  QStringList unreadable;
  const DesfireSet job = store.LoadJob(&unreadable);
  EXPECT_EQ(job.length, 32);
  EXPECT_EQ(job.card_key, QString());
  // The damaged key is named, so a front end does not take it for the factory default key.
  EXPECT_EQ(unreadable, QStringList{QStringLiteral("CardKey")});
  EXPECT_EQ(store.LoadOperatorSettings().cycle_period_ms, 250);
  EXPECT_EQ(RawValue("Settings/ZyklusZeit").toInt(), 250);
}

TEST_F(SettingsStoreTest, ValueStoreWritesAtOnce) {
  SettingsStore store(dir_.path());
  SettingsValueStore values(store);
  ASSERT_TRUE(values.Store(QStringLiteral("0815")));
  // Seen by another reader of the file while this store is still alive.
  EXPECT_EQ(RawValue("Settings/Wert").toString(), QStringLiteral("0815"));
}

TEST_F(SettingsStoreTest, ValueStoreReportsAnUnwritableStore) {
  const QString not_a_folder = dir_.filePath(QStringLiteral("file"));
  QFile file(not_a_folder);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  SettingsStore store(not_a_folder);
  SettingsValueStore values(store);
  EXPECT_FALSE(values.Store(QStringLiteral("1")));
}

// A file with one line QSettings cannot read (here one without "=") counts as unreadable: the
// store says so naming the file and writes nothing, rather than dropping the line on a save.
TEST_F(SettingsStoreTest, ALineWithoutValueMakesTheFileUnreadable) {
  const QString path = SettingsStore(dir_.path()).FileName();
  const QByteArray text("[Settings]\nWert=7\nvon Hand geschrieben\n");
  WriteBytes(path, text);
  {
    SettingsStore store(dir_.path());
    EXPECT_FALSE(store.Readable());
    EXPECT_FALSE(SettingsValueStore(store).Store(QStringLiteral("8")));
  }
  EXPECT_EQ(ReadBytes(path), text);
}

// The INI reader takes many damaged files without an error (about one in fifteen files of random
// bytes): the store judges the bytes themselves, so none of them is taken as settings or
// rewritten.
TEST_F(SettingsStoreTest, RandomBytesAreNeverTakenAsSettings) {
  std::mt19937 random(23);
  const QString path = SettingsStore(dir_.path()).FileName();
  for (int round = 0; round < 120; ++round) {
    QByteArray bytes(600, '\0');
    for (char &byte : bytes) byte = static_cast<char>(random());
    WriteBytes(path, bytes);
    {
      SettingsStore store(dir_.path());
      EXPECT_FALSE(store.Readable()) << "round " << round;
      EXPECT_FALSE(store.SaveJob(DesfireSet{}));
    }
    ASSERT_EQ(ReadBytes(path), bytes) << "round " << round;
  }
}

// Files the INI reader takes without an error but that are no settings text, and one that turns
// so while the store is open: refused, named, and left as they are.
TEST_F(SettingsStoreTest, BytesThatAreNoSettingsTextAreRefused) {
  const QString path = SettingsStore(dir_.path()).FileName();
  const QByteArray cases[] = {
      QByteArray("[Settings]\nWert=7\x01\n", 18),
      QByteArray("\xA3\x10=\x91\x00zz\n", 9),
      QByteArray("[Settings]\n=7\n"),
      QByteArray("[Settings\nWert=7\n"),
      QByteArray("Wert=\x85\xff\n"),
  };
  for (const QByteArray &bytes : cases) {
    WriteBytes(path, bytes);
    {
      SettingsStore store(dir_.path());
      EXPECT_FALSE(store.Readable()) << bytes.toHex().toStdString();
      EXPECT_TRUE(store.Problem().contains(path));
      EXPECT_FALSE(SettingsValueStore(store).Store(QStringLiteral("5")));
    }
    EXPECT_EQ(ReadBytes(path), bytes);
  }
  // Text by hand in Latin-1 and blank lines are settings.
  WriteBytes(path, "\n  \n[Settings]\nWert=7\n");
  EXPECT_TRUE(SettingsStore(dir_.path()).Readable());
  WriteBytes(path, "[Settings]\nWert=M\xfcller\n");
  EXPECT_TRUE(SettingsStore(dir_.path()).Readable());

  SettingsStore store(dir_.path());
  const QByteArray damaged("[Settings]\nWert=\x02\x03=\n");
  WriteBytes(path, damaged);
  EXPECT_FALSE(store.StoreValue(QStringLiteral("8")));
  EXPECT_FALSE(store.Readable());
  EXPECT_EQ(ReadBytes(path), damaged);
}

// A value is read as the operator wrote it or the file is refused naming the key: an unquoted
// comma would read as a list (an empty text), a number beyond the integer's range as a negative
// one. Quoted, the comma is the operator's; what the store writes itself reads back the same.
TEST_F(SettingsStoreTest, AValueThatWouldReadOtherwiseRefusesTheFileNamingTheKey) {
  const QString path = SettingsStore(dir_.path()).FileName();
  const struct {
    QByteArray text;
    const char *key;
  } cases[] = {
      {"[Settings]\nWert=12,34\n", "Settings/Wert"},
      {"[Settings]\nAppID=4294967295\n", "Settings/AppID"},
      {"[Port]\nBaudrate=2147483648\n", "Port/Baudrate"},
      {"[Settings]\nZyklusZeit=-9999999999\n", "Settings/ZyklusZeit"},
  };
  for (const auto &entry : cases) {
    WriteBytes(path, entry.text);
    {
      SettingsStore store(dir_.path());
      EXPECT_FALSE(store.Readable()) << entry.key;
      EXPECT_TRUE(store.Problem().contains(QLatin1String(entry.key)))
          << store.Problem().toStdString();
      EXPECT_TRUE(store.Problem().contains(path));
      EXPECT_FALSE(store.SaveJob(DesfireSet{}));
    }
    EXPECT_EQ(ReadBytes(path), entry.text);
  }

  WriteBytes(path, "[Settings]\nWert=\"12,34\"\nAppID=2147483647\n");
  {
    SettingsStore store(dir_.path());
    ASSERT_TRUE(store.Readable()) << store.Problem().toStdString();
    EXPECT_EQ(store.LoadJob().data, QStringLiteral("12,34"));
    EXPECT_EQ(store.LoadJob().app_id, 2147483647);
    DesfireSet job = store.LoadJob();
    job.data = QStringLiteral(" a, b ,c");
    ASSERT_TRUE(store.SaveJob(job));
  }
  SettingsStore again(dir_.path());
  ASSERT_TRUE(again.Readable()) << again.Problem().toStdString();
  EXPECT_EQ(again.LoadJob().data, QStringLiteral(" a, b ,c"));
}

// In a folder others can write, links named like the settings file or its lock companion would
// make the store read, create and rewrite the files they point at: both are refused, naming the
// link, and the targets stay as they were (or absent).
TEST_F(SettingsStoreTest, LinksInPlaceOfTheFileOrItsLockAreNotFollowed) {
  const QString path = SettingsStore(dir_.path()).FileName();
  const QString target = dir_.filePath(QStringLiteral("fremd.ini"));
  const QByteArray foreign("[Settings]\nWert=99\n");
  WriteBytes(target, foreign);
  ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()),
            0);
  {
    SettingsStore store(dir_.path());
    EXPECT_FALSE(store.Readable());
    EXPECT_TRUE(store.Problem().contains(path));
    EXPECT_FALSE(store.SaveJob(DesfireSet{}));
    EXPECT_FALSE(SettingsValueStore(store).Store(QStringLiteral("5")));
  }
  EXPECT_EQ(ReadBytes(target), foreign);
  ASSERT_TRUE(QFile::remove(path));

  const QString lock = QString::fromStdString(FileLock::LockPathFor(path.toStdString()));
  const QString lock_target = dir_.filePath(QStringLiteral("nicht-anlegen"));
  ASSERT_EQ(
      ::symlink(QFile::encodeName(lock_target).constData(), QFile::encodeName(lock).constData()),
      0);
  SettingsStore store(dir_.path());
  ASSERT_TRUE(store.Readable());
  SettingsValueStore values(store);
  EXPECT_FALSE(values.Store(QStringLiteral("5")));
  EXPECT_TRUE(values.Failure().contains(lock)) << values.Failure().toStdString();
  EXPECT_TRUE(values.Failure().contains(QStringLiteral("symbolic link")));
  EXPECT_FALSE(QFile::exists(lock_target));
}

// A store whose value cannot be written says which file and why (the window and the CLI end a
// series with it).
TEST_F(SettingsStoreTest, AValueStoreFailureNamesTheFileAndTheReason) {
  const QString not_a_folder = dir_.filePath(QStringLiteral("file"));
  WriteBytes(not_a_folder, "");
  SettingsStore store(not_a_folder);
  SettingsValueStore values(store);
  EXPECT_FALSE(values.Store(QStringLiteral("1")));
  EXPECT_TRUE(values.Failure().contains(store.FileName())) << values.Failure().toStdString();
  EXPECT_TRUE(values.Failure().contains(QStringLiteral("Not a directory")))
      << values.Failure().toStdString();
}

}  // namespace
}  // namespace quillmate
