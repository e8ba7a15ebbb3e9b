// What in a write job is risky although the job check accepts it, as warnings before the first
// card.
#include "writer/job/job_risks.h"

#include <QCoreApplication>
#include <algorithm>
#include <vector>

#include "writer/job/data_codec.h"
#include "writer/job/key_plan.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "JobRisks" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(JobRisks)
};

struct NamedKey {
  const char *name;
  const QString &text;
  bool derived;
};

// The line for two keys with the same text: with derivation the same master key gives every card
// the same key in both roles, and a master key that is also a plain key lands on every card.
QString SameKeyRisk(const NamedKey &a, const NamedKey &b) {
  const QString first = QLatin1String(a.name);
  const QString second = QLatin1String(b.name);
  if (a.derived && b.derived) {
    return Texts::tr("%1 und %2 werden aus demselben Hauptschlüssel abgeleitet.")
        .arg(first, second);
  }
  if (a.derived || b.derived) {
    return Texts::tr("Der Hauptschlüssel von %1 steht als %2 auf jeder Karte.")
        .arg(a.derived ? first : second, a.derived ? second : first);
  }
  return Texts::tr("%1 und %2 sind derselbe Key.").arg(first, second);
}

// An access right and the list index it was chosen by.
struct Right {
  const char *name;
  int index;
};

}  // namespace

bool IsFullKeyText(QStringView text) {
  return text.isEmpty() || (text.size() == kMaxKeyDigits && IsHexText(text));
}

QStringList JobRisks(const DesfireSet &job, int series_cards) {
  QStringList risks;
  const std::vector<NamedKey> keys = {
      {"CardKey", job.card_key, job.card_key_derived},
      {"AppKey", job.app_key, job.app_key_derived},
      {"ReadKey", job.read_key, job.read_key_derived},
      {"WriteKey", job.write_key, job.write_key_derived},
      {"ReadWriteKey", job.read_write_key, job.read_write_key_derived}};
  for (const NamedKey &key : keys) {
    if (!key.text.isEmpty() && key.text.size() < kMaxKeyDigits) {
      risks.append(Texts::tr("%1 hat nur %2 von 32 Hex-Ziffern, der Rest wird mit Nullen gefüllt.")
                       .arg(QLatin1String(key.name))
                       .arg(key.text.size()));
    }
  }
  for (size_t i = 0; i < keys.size(); ++i) {
    for (size_t j = i + 1; j < keys.size(); ++j) {
      if (!keys[i].text.isEmpty() && keys[i].text.compare(keys[j].text, Qt::CaseInsensitive) == 0) {
        risks.append(SameKeyRisk(keys[i], keys[j]));
      }
    }
  }

  const QList<AccessEntry> access = AccessListFor(job.key_count);
  const Right rights[] = {{"ReadKeyNr", job.read_key_nr},
                          {"WriteKeyNr", job.write_key_nr},
                          {"ReadWriteKeyNr", job.read_write_key_nr}};
  for (const Right &right : rights) {
    if (right.index < 0 || right.index >= access.size()) {
      risks.append(Texts::tr("%1 = %2 gibt es bei %3 Keys nicht und wirkt als \"Kein Zugriff\".")
                       .arg(QLatin1String(right.name))
                       .arg(right.index)
                       .arg(job.key_count));
    }
  }
  const auto nibble_of = [&access](int index) {
    return index >= 0 && index < access.size() ? access[index].nibble : kNibbleNone;
  };
  if (nibble_of(job.write_key_nr) == kNibbleFree ||
      nibble_of(job.read_write_key_nr) == kNibbleFree) {
    risks.append(Texts::tr("Freier Schreibzugriff: jeder kann die Datei ohne Key beschreiben."));
  }
  const bool derives =
      std::any_of(keys.begin(), keys.end(), [](const NamedKey &key) { return key.derived; });
  for (const Right &right : rights) {
    if (derives && nibble_of(right.index) == kNibbleFree) {
      risks.append(Texts::tr("%1 ist freier Zugriff: die Datei braucht dafür keinen der pro Karte "
                             "abgeleiteten Keys.")
                       .arg(QLatin1String(right.name)));
    }
  }
  if (job.card_key.isEmpty() && !job.app_key.isEmpty()) {
    risks.append(
        Texts::tr("CardKey ist leer: die Karte behält den Standard-Key, jeder kann sie "
                  "formatieren und die gesperrte Applikation löschen."));
  }

  if (series_cards > 1 && job.auto_increment && job.number_format != NumberFormat::kNone) {
    DesfireSet value = job;
    NormaliseValue(value, 0);
    for (int card = 1; card < series_cards; ++card) {
      NormaliseValue(value, 1);
      if (!ValueFitsFile(value, value.data)) {
        risks.append(Texts::tr("Wert: die Serie passt nach %1 Karten nicht mehr in die Datei "
                               "(<%2> hat mehr als %3 Bytes).")
                         .arg(card)
                         .arg(value.data)
                         .arg(job.length));
        break;
      }
    }
  }
  return risks;
}

}  // namespace quillmate
