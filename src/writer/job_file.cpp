#include "writer/job_file.h"

#include <QFile>
#include <QFileInfo>
#include <string>

#include "support/atomic_file.h"
#include "support/ini_store.h"
#include "writer/settings_store.h"

namespace quillmate {
namespace {

constexpr char kSection[] = "Settings";

// The file's content parsed into `store`. A missing file, a folder, or a read error fail.
JobFileResult ReadInto(const QString &path, CIniEx &store) {
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
    return {false, QStringLiteral("Die Datei %1 kann nicht gelesen werden!").arg(path)};
  }
  const QByteArray content = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    return {false, QStringLiteral("Die Datei %1 kann nicht gelesen werden!").arg(path)};
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
    return {false, QStringLiteral("Die Datei %1 kann nicht geschrieben werden: %2")
                       .arg(path, QString::fromStdString(error))};
  }
  return {};
}

bool HasLineBreak(const QString &text) {
  return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

JobFileResult LineBreakRefused(const char *key) {
  return {false, QStringLiteral("Der Wert von \"%1\" darf keinen Zeilenumbruch enthalten!")
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

}  // namespace

QString WithJobFileExtension(const QString &path) {
  if (!QFileInfo(path).suffix().isEmpty()) return path;
  return path + QLatin1Char('.') + QString::fromLatin1(kJobFileExtension);
}

JobFileResult LoadJobFile(const QString &path, DesfireSet &job) {
  CIniEx store;
  JobFileResult read = ReadInto(path, store);
  if (!read.ok) return read;
  DesfireSet loaded = job;
  loaded.data = GetText(store, "Wert");
  loaded.auto_increment = GetInt(store, "AutoIncrement", 0) != 0;
  loaded.leading_zeros = GetInt(store, "AutoNull", 0) != 0;
  loaded.prefix_allowed = GetInt(store, "PrefixZulassen", 0) != 0;
  loaded.length = GetInt(store, "Byteanzahl", 32);
  loaded.number_format = static_cast<NumberFormat>(GetInt(store, "Zahlenformat", 1));
  loaded.representation = static_cast<Representation>(GetInt(store, "Darstellung", 0));
  loaded.orientation = static_cast<Orientation>(GetInt(store, "Ausrichtung", 0));
  loaded.app_id = GetInt(store, "AppID", 1);
  loaded.file_id = GetInt(store, "FileID", 0);
  loaded.file_mode = static_cast<FileMode>(GetInt(store, "FileMode", 0));
  loaded.key_count = GetInt(store, "KeyAnzahl", 14);
  loaded.read_key_nr = GetInt(store, "ReadKeyNr", 1);
  loaded.write_key_nr = GetInt(store, "WriteKeyNr", 1);
  loaded.read_write_key_nr = GetInt(store, "ReadWriteKeyNr", 1);
  loaded.card_key = UnprotectKey(GetText(store, "CardKey"));
  loaded.app_key = UnprotectKey(GetText(store, "AppKey"));
  loaded.read_key = UnprotectKey(GetText(store, "ReadKey"));
  loaded.write_key = UnprotectKey(GetText(store, "WriteKey"));
  loaded.read_write_key = UnprotectKey(GetText(store, "ReadWriteKey"));
  job = loaded;
  return {};
}

JobFileResult SaveJobFile(const QString &path, const DesfireSet &job) {
  const struct {
    const char *key;
    const QString &text;
  } texts[] = {{"Wert", job.data},          {"CardKey", job.card_key},
               {"AppKey", job.app_key},     {"ReadKey", job.read_key},
               {"WriteKey", job.write_key}, {"ReadWriteKey", job.read_write_key}};
  for (const auto &entry : texts) {
    if (HasLineBreak(entry.text)) return LineBreakRefused(entry.key);
  }
  CIniEx store;
  JobFileResult read = ReadExisting(path, store);
  if (!read.ok) return read;
  SetText(store, "Wert", job.data);
  SetInt(store, "AutoIncrement", job.auto_increment ? 1 : 0);
  SetInt(store, "AutoNull", job.leading_zeros ? 1 : 0);
  SetInt(store, "PrefixZulassen", job.prefix_allowed ? 1 : 0);
  SetInt(store, "Byteanzahl", job.length);
  SetInt(store, "Zahlenformat", static_cast<int>(job.number_format));
  SetInt(store, "Darstellung", static_cast<int>(job.representation));
  SetInt(store, "Ausrichtung", static_cast<int>(job.orientation));
  SetInt(store, "AppID", job.app_id);
  SetInt(store, "FileID", job.file_id);
  SetInt(store, "FileMode", static_cast<int>(job.file_mode));
  SetInt(store, "KeyAnzahl", job.key_count);
  SetInt(store, "ReadKeyNr", job.read_key_nr);
  SetInt(store, "WriteKeyNr", job.write_key_nr);
  SetInt(store, "ReadWriteKeyNr", job.read_write_key_nr);
  SetText(store, "CardKey", ProtectKey(job.card_key));
  SetText(store, "AppKey", ProtectKey(job.app_key));
  SetText(store, "ReadKey", ProtectKey(job.read_key));
  SetText(store, "WriteKey", ProtectKey(job.write_key));
  SetText(store, "ReadWriteKey", ProtectKey(job.read_write_key));
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

}  // namespace quillmate
