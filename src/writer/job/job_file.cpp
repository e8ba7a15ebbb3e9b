// Job files: a write job kept in an INI file of its own, read and written whole.
#include "writer/job/job_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <string>

#include "support/atomic_file.h"
#include "support/file_lock.h"
#include "support/ini_store.h"
#include "writer/job/job_keys.h"
#include "writer/settings/settings_store.h"

namespace quillmate {
namespace {

constexpr char kSection[] = "Settings";

// The operator texts of this file, context "JobFile" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(JobFile)
};

// The file's content parsed into `store`. A missing file, a folder, or a read error fail.
JobFileResult ReadInto(const QString &path, CIniEx &store) {
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
    return {false, Texts::tr("Die Datei %1 kann nicht gelesen werden!").arg(path)};
  }
  const QByteArray content = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    return {false, Texts::tr("Die Datei %1 kann nicht gelesen werden!").arg(path)};
  }
  store.ParseText(std::string_view(content.constData(), static_cast<size_t>(content.size())));
  return {};
}

// The store of an existing file, or an empty one for a new file.
JobFileResult ReadExisting(const QString &path, CIniEx &store) {
  if (!QFileInfo::exists(path)) return {};
  return ReadInto(path, store);
}

JobFileResult Write(const QString &path, const CIniEx &store) {
  std::string error;
  if (!ReplaceFileContent(QFile::encodeName(path).toStdString(), store.Text(), error)) {
    return {false, Texts::tr("Die Datei %1 kann nicht geschrieben werden: %2")
                       .arg(path, QString::fromStdString(error))};
  }
  return {};
}

bool HasLineBreak(const QString &text) {
  return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

JobFileResult LineBreakRefused(const char *key) {
  return {false, Texts::tr("Der Wert von \"%1\" darf keinen Zeilenumbruch enthalten!")
                     .arg(QString::fromLatin1(key))};
}

int GetInt(const CIniEx &store, const char *key, int fallback) {
  return store.GetInt(kSection, key, fallback);
}

QString GetText(const CIniEx &store, const char *key) {
  return QString::fromStdString(store.GetString(kSection, key, ""));
}

void SetInt(CIniEx &store, const char *key, int value) {
  store.SetInt(kSection, key, value);
}

void SetText(CIniEx &store, const char *key, const QString &value) {
  store.SetString(kSection, key, value.toStdString());
}

// True when the store holds at least one key of a job in its section. A file without any (an
// empty or foreign file, one cut off before its first key) would otherwise load as the default
// job and write cards nobody asked for.
bool HoldsAJob(const CIniEx &store) {
  bool found = false;
  auto look = [&](const char *key) {
    constexpr char kAbsent[] = "\x01-absent";
    if (store.GetString(kSection, key, kAbsent) != kAbsent) found = true;
  };
  WriteJobValues(
      DesfireSet{}, [&](const char *key, int) { look(key); },
      [&](const char *key, const QString &) { look(key); });
  return found;
}

}  // namespace

QString WithJobFileExtension(const QString &path) {
  if (!QFileInfo(path).suffix().isEmpty()) return path;
  return path + QLatin1Char('.') + QString::fromLatin1(kJobFileExtension);
}

JobFileResult LoadJobFile(const QString &path, DesfireSet &job) {
  CIniEx store;
  JobFileResult read = ReadInto(path, store);
  if (!read.ok) return read;
  if (!HoldsAJob(store)) {
    return {false, Texts::tr("Die Datei %1 enthält keinen Auftrag!").arg(path)};
  }
  // Job files leave out what they do not change; their own defaults differ from the settings'
  // in AutoIncrement and Darstellung.
  DesfireSet defaults;
  defaults.auto_increment = false;
  defaults.representation = Representation::kBinary;
  QStringList unreadable;
  const DesfireSet loaded =
      ReadJobValues([&](const char *key, int fallback) { return GetInt(store, key, fallback); },
                    [&](const char *key) { return GetText(store, key); }, defaults, &unreadable);
  // A damaged key would otherwise stand for the factory default key on every card of the series.
  if (!unreadable.isEmpty()) {
    return {false, Texts::tr("Der gespeicherte Schlüssel \"%1\" in der Datei %2 kann nicht "
                             "gelesen werden!")
                       .arg(unreadable.front(), path)};
  }
  job = loaded;
  return {};
}

JobFileResult SaveJobFile(const QString &path, const DesfireSet &job) {
  const struct {
    const char *key;
    const QString &text;
  } texts[] = {{"Wert", job.data},
               {"CardKey", job.card_key},
               {"AppKey", job.app_key},
               {"ReadKey", job.read_key},
               {"WriteKey", job.write_key},
               {"ReadWriteKey", job.read_write_key},
               {"SystemKennung", job.system_identifier}};
  for (const auto &entry : texts) {
    if (HasLineBreak(entry.text)) return LineBreakRefused(entry.key);
  }
  CIniEx store;
  JobFileResult read = ReadExisting(path, store);
  if (!read.ok) return read;
  WriteJobValues(
      job, [&](const char *key, int value) { SetInt(store, key, value); },
      [&](const char *key, const QString &value) { SetText(store, key, value); });
  return Write(path, store);
}

JobFileResult StoreJobFileValue(const QString &path, const QString &value) {
  if (HasLineBreak(value)) return LineBreakRefused("Wert");
  CIniEx store;
  JobFileResult read = ReadInto(path, store);
  if (!read.ok) return read;
  SetText(store, "Wert", value);
  return Write(path, store);
}

JobFileResult UpdateJobFileValue(const QString &path, const ValueStore::Change &change) {
  const FileLock lock(path.toStdString(), kValueLockTimeoutMs);
  if (!lock.held()) {
    return {false, Texts::tr("Die Datei %1 kann nicht gesperrt werden: %2")
                       .arg(path, QString::fromStdString(lock.error()))};
  }
  CIniEx store;
  JobFileResult read = ReadInto(path, store);
  if (!read.ok) return read;
  const std::optional<QString> replaced = change(GetText(store, "Wert"));
  if (!replaced) return {};
  if (HasLineBreak(*replaced)) return LineBreakRefused("Wert");
  SetText(store, "Wert", *replaced);
  return Write(path, store);
}

}  // namespace quillmate
