#include "writer/job_keys.h"

#include "writer/settings_store.h"

namespace quillmate {

DesfireSet ReadJobValues(const ReadIntFn &read_int, const ReadTextFn &read_text,
                         const DesfireSet &defaults, QStringList *unreadable_keys) {
  DesfireSet job = defaults;
  const auto protected_key = [&](const char *name) {
    const QString stored = read_text(name);
    QString clear = UnprotectKey(stored);
    if (clear.isEmpty() && !stored.isEmpty() && unreadable_keys) {
      unreadable_keys->append(QString::fromLatin1(name));
    }
    return clear;
  };
  const auto flag = [&](const char *key, bool fallback) { return read_int(key, fallback) != 0; };
  job.data = read_text("Wert");
  job.auto_increment = flag("AutoIncrement", defaults.auto_increment);
  job.leading_zeros = flag("AutoNull", defaults.leading_zeros);
  job.prefix_allowed = flag("PrefixZulassen", defaults.prefix_allowed);
  job.length = read_int("Byteanzahl", defaults.length);
  job.number_format =
      static_cast<NumberFormat>(read_int("Zahlenformat", static_cast<int>(defaults.number_format)));
  job.representation = static_cast<Representation>(
      read_int("Darstellung", static_cast<int>(defaults.representation)));
  job.orientation =
      static_cast<Orientation>(read_int("Ausrichtung", static_cast<int>(defaults.orientation)));
  job.app_id = read_int("AppID", defaults.app_id);
  job.file_id = read_int("FileID", defaults.file_id);
  job.file_mode = static_cast<FileMode>(read_int("FileMode", static_cast<int>(defaults.file_mode)));
  job.key_count = read_int("KeyAnzahl", defaults.key_count);
  job.read_key_nr = read_int("ReadKeyNr", defaults.read_key_nr);
  job.write_key_nr = read_int("WriteKeyNr", defaults.write_key_nr);
  job.read_write_key_nr = read_int("ReadWriteKeyNr", defaults.read_write_key_nr);
  job.card_key = protected_key("CardKey");
  job.app_key = protected_key("AppKey");
  job.read_key = protected_key("ReadKey");
  job.write_key = protected_key("WriteKey");
  job.read_write_key = protected_key("ReadWriteKey");
  return job;
}

void WriteJobValues(const DesfireSet &job, const WriteIntFn &write_int,
                    const WriteTextFn &write_text) {
  write_text("Wert", job.data);
  write_int("AutoIncrement", job.auto_increment ? 1 : 0);
  write_int("AutoNull", job.leading_zeros ? 1 : 0);
  write_int("PrefixZulassen", job.prefix_allowed ? 1 : 0);
  write_int("Byteanzahl", job.length);
  write_int("Zahlenformat", static_cast<int>(job.number_format));
  write_int("Darstellung", static_cast<int>(job.representation));
  write_int("Ausrichtung", static_cast<int>(job.orientation));
  write_int("AppID", job.app_id);
  write_int("FileID", job.file_id);
  write_int("FileMode", static_cast<int>(job.file_mode));
  write_int("KeyAnzahl", job.key_count);
  write_int("ReadKeyNr", job.read_key_nr);
  write_int("WriteKeyNr", job.write_key_nr);
  write_int("ReadWriteKeyNr", job.read_write_key_nr);
  write_text("CardKey", ProtectKey(job.card_key));
  write_text("AppKey", ProtectKey(job.app_key));
  write_text("ReadKey", ProtectKey(job.read_key));
  write_text("WriteKey", ProtectKey(job.write_key));
  write_text("ReadWriteKey", ProtectKey(job.read_write_key));
}

}  // namespace quillmate
