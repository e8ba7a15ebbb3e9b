// The keys under which a write job is kept, in one table for the settings, job files and the
// command line.
#include "writer/job/job_keys.h"

#include <algorithm>

#include "writer/job/job_risks.h"
#include "writer/job/key_plan.h"
#include "writer/settings/settings_store.h"

namespace quillmate {
namespace {

JobKey IntKey(const char *name, JobKeyKind kind, JobField field, int DesfireSet::*member) {
  JobKey key{name, kind, field, 0, {}, {}, {}, {}};
  key.get_int = [member](const DesfireSet &job) { return job.*member; };
  key.set_int = [member](DesfireSet &job, int value) { job.*member = value; };
  return key;
}

JobKey FlagKey(const char *name, bool DesfireSet::*member) {
  JobKey key{name, JobKeyKind::kFlag, JobField::kNone, 1, {}, {}, {}, {}};
  key.get_int = [member](const DesfireSet &job) { return job.*member ? 1 : 0; };
  key.set_int = [member](DesfireSet &job, int value) { job.*member = value != 0; };
  return key;
}

template <typename Enum>
JobKey ChoiceKey(const char *name, JobField field, Enum DesfireSet::*member, int max_choice) {
  JobKey key{name, JobKeyKind::kChoice, field, max_choice, {}, {}, {}, {}};
  key.get_int = [member](const DesfireSet &job) { return static_cast<int>(job.*member); };
  key.set_int = [member](DesfireSet &job, int value) { job.*member = static_cast<Enum>(value); };
  return key;
}

JobKey TextKey(const char *name, JobKeyKind kind, JobField field, QString DesfireSet::*member) {
  JobKey key{name, kind, field, 0, {}, {}, {}, {}};
  key.get_text = [member](const DesfireSet &job) { return job.*member; };
  key.set_text = [member](DesfireSet &job, const QString &text) { job.*member = text; };
  return key;
}

JobKey KeyKey(const char *name, JobField field, QString DesfireSet::*member,
              bool DesfireSet::*derived) {
  JobKey key = TextKey(name, JobKeyKind::kKey, field, member);
  key.derived = derived;
  return key;
}

JobKey DeriveFlagKey(const char *name, JobField field, bool DesfireSet::*member) {
  JobKey key = FlagKey(name, member);
  key.kind = JobKeyKind::kDeriveFlag;
  key.field = field;
  key.derived = member;
  return key;
}

QString MarkedKey(const JobKey &key, const DesfireSet &job) {
  const QString text = key.get_text(job);
  return key.derived && job.*key.derived ? QLatin1String(kDerivedKeyMark) + text : text;
}

// The stored key text in clear without its mark; `derived` tells whether it had one.
QString UnmarkedKey(const QString &clear, bool &derived) {
  derived = clear.startsWith(QLatin1String(kDerivedKeyMark));
  return derived ? clear.mid(static_cast<qsizetype>(sizeof kDerivedKeyMark - 1)) : clear;
}

std::vector<JobKey> MakeJobKeys() {
  using K = JobKeyKind;
  using F = JobField;
  return {
      TextKey("Wert", K::kText, F::kData, &DesfireSet::data),
      FlagKey("AutoIncrement", &DesfireSet::auto_increment),
      FlagKey("AutoNull", &DesfireSet::leading_zeros),
      FlagKey("PrefixZulassen", &DesfireSet::prefix_allowed),
      IntKey("Byteanzahl", K::kDecimal, F::kLength, &DesfireSet::length),
      ChoiceKey("Zahlenformat", F::kNumberFormat, &DesfireSet::number_format, 2),
      ChoiceKey("Darstellung", F::kRepresentation, &DesfireSet::representation, 1),
      ChoiceKey("Ausrichtung", F::kOrientation, &DesfireSet::orientation, 1),
      IntKey("AppID", K::kHex, F::kAppId, &DesfireSet::app_id),
      IntKey("FileID", K::kHex, F::kFileId, &DesfireSet::file_id),
      ChoiceKey("FileMode", F::kFileMode, &DesfireSet::file_mode, 2),
      IntKey("KeyAnzahl", K::kDecimal, F::kKeyCount, &DesfireSet::key_count),
      IntKey("ReadKeyNr", K::kDecimal, F::kNone, &DesfireSet::read_key_nr),
      IntKey("WriteKeyNr", K::kDecimal, F::kNone, &DesfireSet::write_key_nr),
      IntKey("ReadWriteKeyNr", K::kDecimal, F::kNone, &DesfireSet::read_write_key_nr),
      KeyKey("CardKey", F::kCardKey, &DesfireSet::card_key, &DesfireSet::card_key_derived),
      KeyKey("AppKey", F::kAppKey, &DesfireSet::app_key, &DesfireSet::app_key_derived),
      KeyKey("ReadKey", F::kReadKey, &DesfireSet::read_key, &DesfireSet::read_key_derived),
      KeyKey("WriteKey", F::kWriteKey, &DesfireSet::write_key, &DesfireSet::write_key_derived),
      KeyKey("ReadWriteKey", F::kReadWriteKey, &DesfireSet::read_write_key,
             &DesfireSet::read_write_key_derived),
      DeriveFlagKey("CardKeyProKarte", F::kCardKey, &DesfireSet::card_key_derived),
      DeriveFlagKey("AppKeyProKarte", F::kAppKey, &DesfireSet::app_key_derived),
      DeriveFlagKey("ReadKeyProKarte", F::kReadKey, &DesfireSet::read_key_derived),
      DeriveFlagKey("WriteKeyProKarte", F::kWriteKey, &DesfireSet::write_key_derived),
      DeriveFlagKey("ReadWriteKeyProKarte", F::kReadWriteKey, &DesfireSet::read_write_key_derived),
      TextKey("SystemKennung", K::kText, F::kSystemIdentifier, &DesfireSet::system_identifier),
  };
}

}  // namespace

const std::vector<JobKey> &JobKeys() {
  static const std::vector<JobKey> keys = MakeJobKeys();
  return keys;
}

const JobKey *FindJobKey(const QString &name) {
  const auto &keys = JobKeys();
  const auto found = std::find_if(keys.begin(), keys.end(),
                                  [&name](const JobKey &key) { return name == key.name; });
  return found == keys.end() ? nullptr : &*found;
}

QStringList DerivedKeyNames(const DesfireSet &job) {
  QStringList names;
  for (const JobKey &key : JobKeys()) {
    if (key.kind == JobKeyKind::kKey && job.*key.derived) names.append(QLatin1String(key.name));
  }
  return names;
}

QString JobFieldKeyName(JobField field) {
  if (field == JobField::kNone) return {};
  for (const JobKey &key : JobKeys()) {
    if (key.field == field && key.kind != JobKeyKind::kDeriveFlag) {
      return QString::fromLatin1(key.name);
    }
  }
  return {};
}

QString JobKeyText(const JobKey &key, const DesfireSet &job) {
  if (key.IsText()) return key.get_text(job);
  return QString::number(key.get_int(job), key.kind == JobKeyKind::kHex ? 16 : 10).toUpper();
}

bool SetJobKeyText(const JobKey &key, DesfireSet &job, const QString &text) {
  switch (key.kind) {
    case JobKeyKind::kText:
      key.set_text(job, text);
      return true;
    case JobKeyKind::kKey:
      // A key typed anew is whole or empty: a shorter text is mostly a typo that locks cards.
      if (!IsFullKeyText(text)) return false;
      key.set_text(job, text.toUpper());
      return true;
    case JobKeyKind::kFlag:
    case JobKeyKind::kDeriveFlag:
      if (text != QLatin1String("0") && text != QLatin1String("1")) return false;
      key.set_int(job, text == QLatin1String("1") ? 1 : 0);
      return true;
    case JobKeyKind::kDecimal:
    case JobKeyKind::kHex:
    case JobKeyKind::kChoice: {
      bool ok = false;
      const int value = text.toInt(&ok, key.kind == JobKeyKind::kHex ? 16 : 10);
      if (!ok) return false;
      if (key.kind == JobKeyKind::kChoice && (value < 0 || value > key.max_choice)) return false;
      key.set_int(job, value);
      return true;
    }
  }
  return false;
}

DesfireSet ReadJobValues(const ReadIntFn &read_int, const ReadTextFn &read_text,
                         const DesfireSet &defaults, QStringList *unreadable_keys) {
  DesfireSet job = defaults;
  for (const JobKey &key : JobKeys()) {
    if (key.kind == JobKeyKind::kText) {
      key.set_text(job, read_text(key.name));
    } else if (key.kind == JobKeyKind::kKey) {
      const QString stored = read_text(key.name);
      const QString clear = DeobfuscateKey(stored);
      if (clear.isEmpty() && !stored.isEmpty() && unreadable_keys) {
        unreadable_keys->append(QString::fromLatin1(key.name));
      }
      bool derived = false;
      key.set_text(job, UnmarkedKey(clear, derived));
      job.*key.derived = derived;
    } else if (key.kind == JobKeyKind::kDeriveFlag) {
      continue;  // read with its key
    } else {
      key.set_int(job, read_int(key.name, key.get_int(defaults)));
    }
  }
  return job;
}

void WriteJobValues(const DesfireSet &job, const WriteIntFn &write_int,
                    const WriteTextFn &write_text) {
  for (const JobKey &key : JobKeys()) {
    if (key.kind == JobKeyKind::kText) {
      write_text(key.name, key.get_text(job));
    } else if (key.kind == JobKeyKind::kKey) {
      write_text(key.name, ObfuscateKey(MarkedKey(key, job)));
    } else if (key.kind == JobKeyKind::kDeriveFlag) {
      continue;  // written with its key
    } else {
      write_int(key.name, key.get_int(job));
    }
  }
}

}  // namespace quillmate
