// The per-user settings store: the write job and the operator's settings in an INI file, every
// key stored obfuscated.
#include "writer/settings/settings_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

#include "support/crypt_text.h"
#include "support/file_lock.h"
#include "support/regular_file.h"
#include "writer/job/job_keys.h"
#include "writer/settings/settings_text.h"
#include "writer/update/update_list.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "SettingsStore" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(SettingsStore)
};

constexpr char kSettingsGroup[] = "Settings";
constexpr char kLogGroup[] = "Protokoll";
constexpr char kPortGroup[] = "Port";
constexpr char kVersionGroup[] = "Version";
constexpr char kSeriesGroup[] = "Serie";
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

// An integer value, or `fallback` when it is missing or not a number (a file edited by hand). The
// text is read as a number in its own right: a variant's conversion would wrap a number beyond
// the integer's range into a negative one.
int ReadInt(const QSettings &settings, const char *key, int fallback) {
  const QVariant value = settings.value(QString::fromLatin1(key));
  if (!value.isValid()) return fallback;
  bool ok = false;
  const int number = value.toString().trimmed().toInt(&ok);
  return ok ? number : fallback;
}

// The keys stored as integers ("group/key"): the job's numbers, flags and choices and the
// operator's.
QStringList IntegerKeys() {
  QStringList keys;
  for (const JobKey &key : JobKeys()) {
    if (!key.IsText()) keys.append(QString::fromLatin1(kSettingsGroup) + u'/' + key.name);
  }
  keys << QStringLiteral("Settings/Sprache") << QStringLiteral("Settings/KeysAnzeigen")
       << QStringLiteral("Settings/VerifyAfterWrite") << QStringLiteral("Settings/ZyklusZeit")
       << QStringLiteral("Settings/BeepTime") << QStringLiteral("Protokoll/LogFileEnableSchreiben")
       << QStringLiteral("Protokoll/LogFileEnableLesen") << QStringLiteral("Port/Baudrate")
       << QStringLiteral("Port/Timeout") << QStringLiteral("Port/Adresse")
       << QStringLiteral("Port/EthernetAktiv") << QStringLiteral("Version/Update");
  return keys;
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

QString ObfuscateKey(const QString &key) {
  const CCryptText crypt(kStoredKeyObfuscationPhrase);
  return QString::fromStdString(crypt.EncryptText(key.toStdString()));
}

QString DeobfuscateKey(const QString &stored) {
  const CCryptText crypt(kStoredKeyObfuscationPhrase);
  return QString::fromStdString(crypt.DecryptText(stored.toStdString()));
}

QString DefaultLogFile(bool write_log) {
  return QDir(DocumentsFolder())
      .filePath(write_log ? QStringLiteral("Protokoll_S.txt") : QStringLiteral("Protokoll_L.txt"));
}

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QString::fromLatin1(kSettingsOrganisation),
                                            QString::fromLatin1(kSettingsApplication))) {
  CheckReadable();
}

SettingsStore::SettingsStore(const QString &folder)
    : settings_(std::make_unique<QSettings>(
          QDir(folder).filePath(QString::fromLatin1(kSettingsApplication) + QStringLiteral(".ini")),
          QSettings::IniFormat)) {
  CheckReadable();
}

SettingsStore::~SettingsStore() = default;

// The settings hold keys, only obfuscated: a new file is its owner's alone. QSettings replaces the
// file on every write and keeps the permissions of the one it replaces, so an empty file created
// 0600 before the first write gives the file that mode from its first byte on (and a file the
// operator gave another mode keeps it).
void SettingsStore::CreatePrivateFile() {
  const QString path = FileName();
  if (QFileInfo::exists(path)) return;
  QDir().mkpath(QFileInfo(path).absolutePath());
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);
}

void SettingsStore::Refuse(const QString &problem) {
  readable_ = false;
  problem_ = problem;
}

QString SettingsStore::DamagedText() const {
  return Texts::tr(
             "Die Einstellungsdatei %1 kann nicht gelesen werden und bleibt unverändert; "
             "verschieben oder löschen Sie sie, um mit den Voreinstellungen zu beginnen!")
      .arg(FileName());
}

// Looked at before QSettings reads or writes the file: a link in its place would be followed by
// both, and the INI reader takes many damaged files without an error.
bool SettingsStore::FileIsSettingsText() {
  const QString path = FileName();
  switch (PathKindOf(QFile::encodeName(path).toStdString())) {
    case PathKind::kMissing:
      return true;
    case PathKind::kRegularFile:
      break;
    case PathKind::kSymbolicLink:
    case PathKind::kOther:
      Refuse(Texts::tr("Die Einstellungsdatei %1 ist ein symbolischer Link oder keine gewöhnliche "
                       "Datei und wird weder gelesen noch geschrieben!")
                 .arg(path));
      return false;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    Refuse(DamagedText());
    return false;
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError || !IsSettingsText(bytes)) {
    Refuse(DamagedText());
    return false;
  }
  return true;
}

// QSettings reads the file on first use and from then on keeps what it met there as its status.
void SettingsStore::CheckReadable() {
  if (!FileIsSettingsText()) return;
  settings_->allKeys();
  if (settings_->status() != QSettings::NoError) {
    Refuse(DamagedText());
    return;
  }
  // A value is taken as the operator wrote it or not at all: an unquoted comma makes the INI
  // reader give a list (read as an empty text), and a number beyond the integer's range would be
  // taken as another number.
  for (const QString &key : settings_->allKeys()) {
    if (settings_->value(key).typeId() == QMetaType::QStringList) {
      Refuse(Texts::tr("Die Einstellungsdatei %1 kann nicht gelesen werden: Der Wert von %2 "
                       "enthält ein Komma; setzen Sie ihn in Anführungszeichen!")
                 .arg(FileName(), key));
      return;
    }
  }
  static const QRegularExpression kNumber(QStringLiteral("^[+-]?[0-9]+$"));
  for (const QString &key : IntegerKeys()) {
    const QString text = settings_->value(key).toString().trimmed();
    bool fits = false;
    text.toInt(&fits);
    if (!fits && kNumber.match(text).hasMatch()) {
      Refuse(Texts::tr("Die Einstellungsdatei %1 kann nicht gelesen werden: Die Zahl %2 von %3 "
                       "liegt außerhalb des Zahlenbereichs!")
                 .arg(FileName(), text, key));
      return;
    }
  }
}

QString SettingsStore::Problem() const {
  return readable_ ? QString() : problem_;
}

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
  // A store that could not be read is never written (not even by QSettings when it goes away).
  if (!readable_) return false;
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
    result.language = LanguageFromSetting(ReadInt(s, "Sprache", 0));
    result.show_keys = ReadInt(s, "KeysAnzeigen", 1) != 0;
    result.verify_after_write = ReadInt(s, "VerifyAfterWrite", 0) != 0;
    const int cycle = ReadInt(s, "ZyklusZeit", -1);
    if (IsValidCyclePeriod(cycle)) {
      result.cycle_period_ms = cycle;
    } else if (readable_) {
      WriteInt(s, "ZyklusZeit", kDefaultCyclePeriodMs);
      write_back = true;
    }
    const int beep = ReadInt(s, "BeepTime", -1);
    if (IsValidBeepTime(beep)) {
      result.beep_time_ms = beep;
    } else if (readable_) {
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
    result.update_address = ReadText(s, "Address");
    if (result.update_address.isEmpty()) {
      result.update_address = QString::fromLatin1(kDefaultUpdateAddress);
    }
    result.update_ca_file = ReadText(s, "CaFile");
  }
  {
    const GroupScope group(s, kSeriesGroup);
    result.series.database = ReadText(s, "Datenbank");
    result.series.name = ReadText(s, "Name");
  }
  // Loading reports nothing; a store that cannot be written keeps the defaults in memory.
  if (write_back) Sync();
  return result;
}

bool SettingsStore::SaveOperatorSettings(const OperatorSettings &settings) {
  if (!readable_) return false;
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
    WriteInt(s, "Sprache", LanguageSetting(settings.language));
    WriteInt(s, "KeysAnzeigen", settings.show_keys ? 1 : 0);
    WriteInt(s, "VerifyAfterWrite", settings.verify_after_write ? 1 : 0);
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
    WriteText(s, "Address", settings.update_address);
    WriteText(s, "CaFile", settings.update_ca_file);
  }
  return Sync();
}

bool SettingsStore::StoreValue(const QString &value) {
  if (!readable_) return false;
  {
    const GroupScope group(*settings_, kSettingsGroup);
    WriteText(*settings_, "Wert", value);
  }
  return Sync();
}

bool SettingsStore::UpdateValue(const ValueStore::Change &change) {
  value_failure_.clear();
  if (!readable_) {
    value_failure_ = Problem();
    return false;
  }
  CreatePrivateFile();  // the lock's companion file lives in the store's folder
  const FileLock lock(QFile::encodeName(FileName()).toStdString(), kValueLockTimeoutMs);
  if (!lock.held()) {
    value_failure_ = Texts::tr("Die Datei %1 kann nicht gesperrt werden: %2")
                         .arg(FileName(), QString::fromLocal8Bit(lock.error()));
    return false;
  }
  // Another process may have written the file since this one read it.
  if (!Sync()) {
    value_failure_ = SyncFailure();
    return false;
  }
  QString stored;
  {
    const GroupScope group(*settings_, kSettingsGroup);
    stored = ReadText(*settings_, "Wert");
  }
  const std::optional<QString> replaced = change(stored);
  if (!replaced) return true;
  if (StoreValue(*replaced)) return true;
  value_failure_ = SyncFailure();
  return false;
}

QString SettingsStore::SyncFailure() const {
  if (!readable_) return Problem();
  return Texts::tr("Die Einstellungsdatei %1 kann nicht geschrieben werden: %2")
      .arg(FileName(), sync_reason_);
}

bool SettingsStore::Sync() {
  if (!readable_) return false;
  // A file damaged or replaced by a link meanwhile (by hand, by another program) is not taken
  // over: from now on the store is as one that could not read its file.
  if (!FileIsSettingsText()) return false;
  CreatePrivateFile();
  // QSettings gives no reason for a failed write; the system's is the errno its last call left.
  errno = 0;
  settings_->sync();
  const int error = errno;
  if (settings_->status() == QSettings::FormatError) Refuse(DamagedText());
  if (settings_->status() == QSettings::NoError) return true;
  sync_reason_ =
      error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : Texts::tr("Schreibfehler");
  return false;
}

}  // namespace quillmate
