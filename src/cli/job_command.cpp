#include "cli/job_command.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "cli/exit_codes.h"
#include "writer/job_file.h"
#include "writer/key_plan.h"

namespace quillmate::cli {
namespace {

void Error(const QString &text) {
  std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

struct KeyAccess {
  bool hex = false;  // an integer shown and taken in hex
  std::function<QString(const DesfireSet &)> get;
  // False when the text does not parse.
  std::function<bool(DesfireSet &, const QString &)> set;
};

KeyAccess IntKey(int DesfireSet::*member, bool hex = false) {
  return {hex,
          [member, hex](const DesfireSet &job) {
            return QString::number(job.*member, hex ? 16 : 10).toUpper();
          },
          [member, hex](DesfireSet &job, const QString &text) {
            bool ok = false;
            const int value = text.toInt(&ok, hex ? 16 : 10);
            if (ok) job.*member = value;
            return ok;
          }};
}

KeyAccess BoolKey(bool DesfireSet::*member) {
  return {false, [member](const DesfireSet &job) { return QString::number(job.*member ? 1 : 0); },
          [member](DesfireSet &job, const QString &text) {
            if (text != "0" && text != "1") return false;
            job.*member = text == "1";
            return true;
          }};
}

template <typename Enum>
KeyAccess EnumKey(Enum DesfireSet::*member, int max) {
  return {
      false,
      [member](const DesfireSet &job) { return QString::number(static_cast<int>(job.*member)); },
      [member, max](DesfireSet &job, const QString &text) {
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < 0 || value > max) return false;
        job.*member = static_cast<Enum>(value);
        return true;
      }};
}

KeyAccess HexTextKey(QString DesfireSet::*member) {
  return {true, [member](const DesfireSet &job) { return job.*member; },
          [member](DesfireSet &job, const QString &text) {
            if (!IsKeyText(text)) return false;
            job.*member = text.toUpper();
            return true;
          }};
}

using NamedKey = std::pair<QString, KeyAccess>;

// The job keys in the order of the settings (and of job files), which "job show" keeps.
const std::vector<NamedKey> &Keys() {
  static const std::vector<NamedKey> keys = {
      {"AutoIncrement", BoolKey(&DesfireSet::auto_increment)},
      {"Wert",
       {false, [](const DesfireSet &job) { return job.data; },
        [](DesfireSet &job, const QString &text) {
          job.data = text;
          return true;
        }}},
      {"AutoNull", BoolKey(&DesfireSet::leading_zeros)},
      {"PrefixZulassen", BoolKey(&DesfireSet::prefix_allowed)},
      {"Byteanzahl", IntKey(&DesfireSet::length)},
      {"Zahlenformat", EnumKey(&DesfireSet::number_format, 2)},
      {"Darstellung", EnumKey(&DesfireSet::representation, 1)},
      {"Ausrichtung", EnumKey(&DesfireSet::orientation, 1)},
      {"AppID", IntKey(&DesfireSet::app_id, true)},
      {"FileID", IntKey(&DesfireSet::file_id, true)},
      {"FileMode", EnumKey(&DesfireSet::file_mode, 2)},
      {"KeyAnzahl", IntKey(&DesfireSet::key_count)},
      {"ReadKeyNr", IntKey(&DesfireSet::read_key_nr)},
      {"WriteKeyNr", IntKey(&DesfireSet::write_key_nr)},
      {"ReadWriteKeyNr", IntKey(&DesfireSet::read_write_key_nr)},
      {"CardKey", HexTextKey(&DesfireSet::card_key)},
      {"AppKey", HexTextKey(&DesfireSet::app_key)},
      {"ReadKey", HexTextKey(&DesfireSet::read_key)},
      {"WriteKey", HexTextKey(&DesfireSet::write_key)},
      {"ReadWriteKey", HexTextKey(&DesfireSet::read_write_key)},
  };
  return keys;
}

int ShowJob(const DesfireSet &job) {
  for (const auto &[name, access] : Keys()) {
    std::printf("%s=%s\n", name.toUtf8().constData(), access.get(job).toUtf8().constData());
  }
  return kExitDone;
}

QString UnreadableKeyText(const QString &key) {
  return QString("the stored %1 cannot be deciphered; set it again (job set %1=...)").arg(key);
}

}  // namespace

bool LoadSettingsJob(const SettingsStore &settings, DesfireSet &job) {
  QStringList unreadable;
  job = settings.LoadJob(&unreadable);
  for (const QString &key : unreadable) Error(UnreadableKeyText(key));
  return unreadable.isEmpty();
}

QString FieldKey(JobField field) {
  switch (field) {
    case JobField::kData:
      return "Wert";
    case JobField::kLength:
      return "Byteanzahl";
    case JobField::kAppId:
      return "AppID";
    case JobField::kFileId:
      return "FileID";
    case JobField::kFileMode:
      return "FileMode";
    case JobField::kKeyCount:
      return "KeyAnzahl";
    case JobField::kCardKey:
      return "CardKey";
    case JobField::kAppKey:
      return "AppKey";
    case JobField::kReadKey:
      return "ReadKey";
    case JobField::kWriteKey:
      return "WriteKey";
    case JobField::kReadWriteKey:
      return "ReadWriteKey";
    case JobField::kNone:
      break;
  }
  return {};
}

int RunJobCommand(SettingsStore &settings, const QStringList &arguments) {
  if (arguments.isEmpty() || (arguments[0] != "show" && arguments[0] != "set")) {
    Error("job: expected \"show [FILE]\" or \"set [FILE] KEY=VALUE ...\"");
    return kExitUsage;
  }
  QStringList rest = arguments.mid(1);
  QString file;
  if (!rest.isEmpty() && !rest.front().contains('=')) file = WithJobFileExtension(rest.takeFirst());

  DesfireSet job;
  QStringList unreadable;
  if (file.isEmpty()) {
    job = settings.LoadJob(&unreadable);
  } else if (QFileInfo::exists(file) || arguments[0] == "show") {
    const JobFileResult loaded = LoadJobFile(file, job);
    if (!loaded.ok) {
      Error(loaded.message);
      return kExitUsage;
    }
  }
  if (arguments[0] == "show") {
    if (!rest.isEmpty()) {
      Error("job show: unexpected argument " + rest.front());
      return kExitUsage;
    }
    for (const QString &key : unreadable) Error(UnreadableKeyText(key));
    return ShowJob(job);
  }

  if (rest.isEmpty()) {
    Error("job set: no KEY=VALUE given");
    return kExitUsage;
  }
  for (const QString &assignment : rest) {
    const qsizetype equals = assignment.indexOf('=');
    const QString key = assignment.left(equals);
    const auto found = std::find_if(Keys().begin(), Keys().end(),
                                    [&key](const NamedKey &named) { return named.first == key; });
    if (equals <= 0 || found == Keys().end()) {
      Error("job set: unknown key " + key);
      return kExitUsage;
    }
    if (!found->second.set(job, assignment.mid(equals + 1))) {
      Error(QString("job set: %1: invalid value%2").arg(key, found->second.hex ? " (hex)" : ""));
      return kExitUsage;
    }
  }
  // Saving writes every key: a stored key that does not decipher would be replaced by an empty
  // one unless it is set anew here.
  for (const QString &key : unreadable) {
    const auto sets_it = [&key](const QString &assignment) {
      return assignment.startsWith(key + '=');
    };
    if (std::any_of(rest.begin(), rest.end(), sets_it)) continue;
    Error("job set: " + UnreadableKeyText(key));
    return kExitUsage;
  }
  const JobCheck ranges = CheckJobRanges(job);
  if (!ranges.ok) {
    Error(QString("job set: %1: %2").arg(FieldKey(ranges.field), ranges.message));
    return kExitUsage;
  }
  if (file.isEmpty()) {
    if (!settings.SaveJob(job)) {
      Error("job set: the settings could not be written: " + settings.FileName());
      return kExitUsage;
    }
    return kExitDone;
  }
  const JobFileResult saved = SaveJobFile(file, job);
  if (!saved.ok) {
    Error("job set: " + saved.message);
    return kExitUsage;
  }
  return kExitDone;
}

}  // namespace quillmate::cli
