#include "writer/settings_store.h"

#include <QDir>
#include <QStandardPaths>

#include "support/crypt_text.h"

namespace quillmate {
namespace {

constexpr char kSettingsGroup[] = "Settings";
constexpr char kLogGroup[] = "Protokoll";
constexpr char kPortGroup[] = "Port";
constexpr char kVersionGroup[] = "Version";

// Scopes a QSettings group to a block, so no early return leaves a group open.
class GroupScope {
 public:
  GroupScope(QSettings &settings, const char *group) : settings_(settings) {
    settings_.beginGroup(QString::fromLatin1(group));
  }
  ~GroupScope() { settings_.endGroup(); }
  GroupScope(const GroupScope &) = delete;
  GroupScope &operator=(const GroupScope &) = delete;

 private:
  QSettings &settings_;
};

// An integer value, or `fallback` when it is missing or not a number (a file edited by hand).
int ReadInt(const QSettings &settings, const char *key, int fallback) {
  const QVariant value = settings.value(QString::fromLatin1(key));
  if (!value.isValid()) return fallback;
  bool ok = false;
  const int number = value.toInt(&ok);
  return ok ? number : fallback;
}

QString ReadText(const QSettings &settings, const char *key, const QString &fallback = {}) {
  const QVariant value = settings.value(QString::fromLatin1(key));
  return value.isValid() ? value.toString() : fallback;
}

void WriteInt(QSettings &settings, const char *key, int value) {
  settings.setValue(QString::fromLatin1(key), value);
}

void WriteText(QSettings &settings, const char *key, const QString &value) {
  settings.setValue(QString::fromLatin1(key), value);
}

QString DocumentsFolder() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return folder.isEmpty() ? QDir::homePath() : folder;
}

}  // namespace

QString ProtectKey(const QString &key) {
  const CCryptText crypt(kStoredKeyPassPhrase);
  return QString::fromStdString(crypt.EncryptText(key.toStdString()));
}

QString UnprotectKey(const QString &stored) {
  const CCryptText crypt(kStoredKeyPassPhrase);
  return QString::fromStdString(crypt.DecryptText(stored.toStdString()));
}

QString DefaultLogFile(bool write_log) {
  return QDir(DocumentsFolder())
      .filePath(write_log ? QStringLiteral("Protokoll_S.txt") : QStringLiteral("Protokoll_L.txt"));
}

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QString::fromLatin1(kSettingsOrganisation),
                                            QString::fromLatin1(kSettingsApplication))) {}

SettingsStore::SettingsStore(const QString &folder)
    : settings_(std::make_unique<QSettings>(
          QDir(folder).filePath(QString::fromLatin1(kSettingsApplication) + QStringLiteral(".ini")),
          QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::FileName() const {
  return settings_->fileName();
}

DesfireSet SettingsStore::LoadJob() const {
  DesfireSet job;
  QSettings &s = *settings_;
  const GroupScope group(s, kSettingsGroup);
  job.auto_increment = ReadInt(s, "AutoIncrement", 1) != 0;
  job.data = ReadText(s, "Wert");
  job.leading_zeros = ReadInt(s, "AutoNull", 0) != 0;
  job.prefix_allowed = ReadInt(s, "PrefixZulassen", 0) != 0;
  job.length = ReadInt(s, "Byteanzahl", 32);
  job.number_format = static_cast<NumberFormat>(ReadInt(s, "Zahlenformat", 1));
  job.representation = static_cast<Representation>(ReadInt(s, "Darstellung", 1));
  job.orientation = static_cast<Orientation>(ReadInt(s, "Ausrichtung", 0));
  job.app_id = ReadInt(s, "AppID", 1);
  job.file_id = ReadInt(s, "FileID", 0);
  job.file_mode = static_cast<FileMode>(ReadInt(s, "FileMode", 0));
  job.key_count = ReadInt(s, "KeyAnzahl", 14);
  job.read_key_nr = ReadInt(s, "ReadKeyNr", 1);
  job.write_key_nr = ReadInt(s, "WriteKeyNr", 1);
  job.read_write_key_nr = ReadInt(s, "ReadWriteKeyNr", 1);
  job.card_key = UnprotectKey(ReadText(s, "CardKey"));
  job.app_key = UnprotectKey(ReadText(s, "AppKey"));
  job.read_key = UnprotectKey(ReadText(s, "ReadKey"));
  job.write_key = UnprotectKey(ReadText(s, "WriteKey"));
  job.read_write_key = UnprotectKey(ReadText(s, "ReadWriteKey"));
  return job;
}

bool SettingsStore::SaveJob(const DesfireSet &job) {
  QSettings &s = *settings_;
  {
    const GroupScope group(s, kSettingsGroup);
    WriteInt(s, "AutoIncrement", job.auto_increment ? 1 : 0);
    WriteText(s, "Wert", job.data);
    WriteInt(s, "AutoNull", job.leading_zeros ? 1 : 0);
    WriteInt(s, "PrefixZulassen", job.prefix_allowed ? 1 : 0);
    WriteInt(s, "Byteanzahl", job.length);
    WriteInt(s, "Zahlenformat", static_cast<int>(job.number_format));
    WriteInt(s, "Darstellung", static_cast<int>(job.representation));
    WriteInt(s, "Ausrichtung", static_cast<int>(job.orientation));
    WriteInt(s, "AppID", job.app_id);
    WriteInt(s, "FileID", job.file_id);
    WriteInt(s, "FileMode", static_cast<int>(job.file_mode));
    WriteInt(s, "KeyAnzahl", job.key_count);
    WriteInt(s, "ReadKeyNr", job.read_key_nr);
    WriteInt(s, "WriteKeyNr", job.write_key_nr);
    WriteInt(s, "ReadWriteKeyNr", job.read_write_key_nr);
    WriteText(s, "CardKey", ProtectKey(job.card_key));
    WriteText(s, "AppKey", ProtectKey(job.app_key));
    WriteText(s, "ReadKey", ProtectKey(job.read_key));
    WriteText(s, "WriteKey", ProtectKey(job.write_key));
    WriteText(s, "ReadWriteKey", ProtectKey(job.read_write_key));
  }
  return Sync();
}

OperatorSettings SettingsStore::LoadOperatorSettings() {
  OperatorSettings result;
  QSettings &s = *settings_;
  bool write_back = false;
  {
    const GroupScope group(s, kSettingsGroup);
    result.language = ReadInt(s, "Sprache", 0);
    result.show_keys = ReadInt(s, "KeysAnzeigen", 1) != 0;
    const int cycle = ReadInt(s, "ZyklusZeit", -1);
    if (IsValidCyclePeriod(cycle)) {
      result.cycle_period_ms = cycle;
    } else {
      WriteInt(s, "ZyklusZeit", kDefaultCyclePeriodMs);
      write_back = true;
    }
    const int beep = ReadInt(s, "BeepTime", -1);
    if (IsValidBeepTime(beep)) {
      result.beep_time_ms = beep;
    } else {
      WriteInt(s, "BeepTime", kDefaultBeepTimeMs);
      write_back = true;
    }
  }
  {
    const GroupScope group(s, kLogGroup);
    result.logs.write_file = ReadText(s, "LogFileNameSchreiben", DefaultLogFile(true));
    result.logs.read_file = ReadText(s, "LogFileNameLesen", DefaultLogFile(false));
    result.logs.write_enabled = ReadInt(s, "LogFileEnableSchreiben", 0) != 0;
    result.logs.read_enabled = ReadInt(s, "LogFileEnableLesen", 0) != 0;
  }
  {
    const GroupScope group(s, kPortGroup);
    result.port.name = ReadText(s, "Name");
    result.port.baud_rate = ReadInt(s, "Baudrate", kDefaultBaudRate);
    result.port.timeout_ms = ReadInt(s, "Timeout", kDefaultPortTimeoutMs);
    result.port.address = ReadInt(s, "Adresse", kDefaultReaderAddress);
    result.port.ethernet_active = ReadInt(s, "EthernetAktiv", 0) != 0;
  }
  {
    const GroupScope group(s, kVersionGroup);
    result.update_check = ReadInt(s, "Update", 1) != 0;
  }
  // Loading reports nothing; a store that cannot be written keeps the defaults in memory.
  if (write_back) Sync();
  return result;
}

bool SettingsStore::SaveOperatorSettings(const OperatorSettings &settings) {
  QSettings &s = *settings_;
  {
    const GroupScope group(s, kLogGroup);
    WriteText(s, "LogFileNameSchreiben", settings.logs.write_file);
    WriteText(s, "LogFileNameLesen", settings.logs.read_file);
    WriteInt(s, "LogFileEnableSchreiben", settings.logs.write_enabled ? 1 : 0);
    WriteInt(s, "LogFileEnableLesen", settings.logs.read_enabled ? 1 : 0);
  }
  {
    const GroupScope group(s, kSettingsGroup);
    WriteInt(s, "Sprache", settings.language);
    WriteInt(s, "KeysAnzeigen", settings.show_keys ? 1 : 0);
    WriteInt(s, "ZyklusZeit", settings.cycle_period_ms);
    WriteInt(s, "BeepTime", settings.beep_time_ms);
  }
  {
    const GroupScope group(s, kPortGroup);
    WriteText(s, "Name", settings.port.name);
    WriteInt(s, "Baudrate", settings.port.baud_rate);
    WriteInt(s, "Timeout", settings.port.timeout_ms);
    WriteInt(s, "Adresse", settings.port.address);
    WriteInt(s, "EthernetAktiv", settings.port.ethernet_active ? 1 : 0);
  }
  {
    const GroupScope group(s, kVersionGroup);
    WriteInt(s, "Update", settings.update_check ? 1 : 0);
  }
  return Sync();
}

bool SettingsStore::StoreValue(const QString &value) {
  {
    const GroupScope group(*settings_, kSettingsGroup);
    WriteText(*settings_, "Wert", value);
  }
  return Sync();
}

bool SettingsStore::Sync() {
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

}  // namespace quillmate
