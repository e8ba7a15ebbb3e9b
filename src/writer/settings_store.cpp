#include "writer/settings_store.h"

#include <QDir>
#include <QStandardPaths>

#include "support/crypt_text.h"
#include "writer/job_keys.h"

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

// Another QSettings on the same store: the same file, scope and fallbacks.
std::unique_ptr<QSettings> Reopened(const QSettings &settings) {
  if (settings.organizationName().isEmpty()) {
    return std::make_unique<QSettings>(settings.fileName(), settings.format());
  }
  return std::make_unique<QSettings>(settings.format(), settings.scope(),
                                     settings.organizationName(), settings.applicationName());
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

DesfireSet SettingsStore::LoadJob(QStringList *unreadable_keys) const {
  DesfireSet job;
  QSettings &s = *settings_;
  const GroupScope group(s, kSettingsGroup);
  job = ReadJobValues([&](const char *key, int fallback) { return ReadInt(s, key, fallback); },
                      [&](const char *key) { return ReadText(s, key); }, job, unreadable_keys);
  return job;
}

bool SettingsStore::SaveJob(const DesfireSet &job) {
  QSettings &s = *settings_;
  {
    const GroupScope group(s, kSettingsGroup);
    WriteJobValues(
        job, [&](const char *key, int value) { WriteInt(s, key, value); },
        [&](const char *key, const QString &value) { WriteText(s, key, value); });
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
  // A QSettings keeps the first problem it met for good. A line it could not read (a file edited
  // by hand) is a FormatError that would hide every later outcome; the sync writes the file anew
  // without that line, so a fresh QSettings on it tells whether this and later writes got through.
  // It is opened while the old one lives, so it takes over changes still waiting to be written.
  if (settings_->status() == QSettings::FormatError) {
    std::unique_ptr<QSettings> fresh = Reopened(*settings_);
    fresh->sync();
    settings_ = std::move(fresh);
  }
  return settings_->status() == QSettings::NoError;
}

}  // namespace quillmate
