// The checks before a card is written or read, and the key plan they derive from the job.
#include "writer/job/key_plan.h"

#include <QCoreApplication>

#include "writer/job/data_codec.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "KeyPlan" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(KeyPlan)
};

constexpr int kKeyBytes = 16;

bool IsDecimalText(QStringView text) {
  for (QChar c : text) {
    if (c.unicode() < u'0' || c.unicode() > u'9') return false;
  }
  return true;
}

JobCheck NotHex(JobField field) {
  return JobCheck::Refused(Texts::tr("Keine Hex-Eingabe"), field, true);
}

JobCheck ValueDoesNotFit(const DesfireSet &job) {
  return JobCheck::Refused(ValueDoesNotFitText(job), JobField::kData, true);
}

JobCheck LengthOverDecimal() {
  return JobCheck::Refused(
      Texts::tr("Bytanzahl größer 8 kann im Dezimal-Modus nicht bearbeitetet werden"),
      JobField::kLength, true);
}

// One access right: its nibble from the list index and, for a key of its own, the key bytes from
// its text. `shared` tells that an earlier right uses the same nibble, so this text is ignored.
struct Right {
  int nibble = kNibbleNone;
  QByteArray key;
};

std::optional<Right> ReadRight(int index, int key_count, QStringView text, const KeyPlan &plan,
                               bool (*shared)(int nibble, const KeyPlan &plan)) {
  const int entries = AccessListFor(key_count).size();
  if (index < 0 || index >= entries) index = 0;
  Right right;
  if (index == 0) {
    right.nibble = kNibbleNone;
  } else if (index == 1) {
    right.nibble = kNibbleFree;
  } else if (index == 2) {
    right.nibble = 0;
    right.key = plan.app_master_key;
  } else {
    right.nibble = index - 2;
    if (!shared(right.nibble, plan)) {
      if (!IsKeyText(text)) return std::nullopt;
      right.key = HexKeyToBytes(text);
    }
  }
  return right;
}

JobCheck MasterKeyNotWhole(JobField field) {
  return JobCheck::Refused(
      Texts::tr("Ein pro Karte abgeleiteter Key braucht einen Hauptschlüssel mit 32 Hex-Ziffern"),
      field, true);
}

// The derivation part of BuildKeyPlan: the flags of the keys the plan uses, each derived key's
// master key whole, and the system identifier.
JobCheck BuildDerivation(const DesfireSet &job, KeyPlan &plan) {
  KeyDerivation &d = plan.derivation;
  d = KeyDerivation{};
  d.app_id = job.app_id;
  d.card_master_key = job.card_key_derived;
  d.app_master_key = job.app_key_derived && job.key_count >= 1;
  // A right's key is the app master key (nibble 0), a key of its own, or that of an earlier
  // right on the same key number, whose flag it takes with the key.
  const auto flag_of = [&](int nibble, bool own) {
    if (nibble == kNibbleAppMasterKey) return d.app_master_key;
    return NeedsOwnKey(nibble) && own;
  };
  d.read_key = flag_of(plan.read_nibble, job.read_key_derived);
  d.write_key = plan.write_nibble == plan.read_nibble
                    ? d.read_key
                    : flag_of(plan.write_nibble, job.write_key_derived);
  if (plan.read_write_nibble == plan.read_nibble) {
    d.read_write_key = d.read_key;
  } else if (plan.read_write_nibble == plan.write_nibble) {
    d.read_write_key = d.write_key;
  } else {
    d.read_write_key = flag_of(plan.read_write_nibble, job.read_write_key_derived);
  }
  if (!d.Any()) return JobCheck::Passed();

  // The master key texts the plan takes: a right on the app master key or on an earlier right's
  // key number has no text of its own.
  const int read = plan.read_nibble;
  const int write = plan.write_nibble;
  const int read_write = plan.read_write_nibble;
  const struct {
    bool derived;
    const QString &text;
    JobField field;
  } masters[] = {
      {d.card_master_key, job.card_key, JobField::kCardKey},
      {d.app_master_key, job.app_key, JobField::kAppKey},
      {d.read_key && NeedsOwnKey(read), job.read_key, JobField::kReadKey},
      {d.write_key && NeedsOwnKey(write) && write != read, job.write_key, JobField::kWriteKey},
      {d.read_write_key && NeedsOwnKey(read_write) && read_write != read && read_write != write,
       job.read_write_key, JobField::kReadWriteKey}};
  for (const auto &master : masters) {
    // A short text would be zero-filled: a master key that is mostly zeros by a typo would give
    // every card a guessable key.
    if (master.derived && master.text.size() != kMaxKeyDigits)
      return MasterKeyNotWhole(master.field);
  }

  const std::optional<QByteArray> system = SystemIdentifierBytes(job.system_identifier);
  if (!system) return NotHex(JobField::kSystemIdentifier);
  if (system->size() > kMaxSystemIdentifierBytes) {
    return JobCheck::Refused(Texts::tr("Die System-Kennung hat %1 Bytes, höchstens %2 sind möglich")
                                 .arg(system->size())
                                 .arg(kMaxSystemIdentifierBytes),
                             JobField::kSystemIdentifier, true);
  }
  d.system_identifier = *system;
  return JobCheck::Passed();
}

bool NoEarlierRight(int, const KeyPlan &) {
  return false;
}
bool SameAsRead(int nibble, const KeyPlan &plan) {
  return nibble == plan.read_nibble;
}
bool SameAsReadOrWrite(int nibble, const KeyPlan &plan) {
  return nibble == plan.read_nibble || nibble == plan.write_nibble;
}

}  // namespace

int HexDigitValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (u >= u'a' && u <= u'f') return u - u'a' + 10;
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  return -1;
}

bool IsKeyText(QStringView text) {
  return text.size() <= kMaxKeyDigits && IsHexText(text);
}

bool IsHexText(QStringView text) {
  for (QChar c : text) {
    if (HexDigitValue(c) < 0) return false;
  }
  return true;
}

QByteArray HexKeyToBytes(QStringView text) {
  if (text.isEmpty()) return {};
  QByteArray key(kKeyBytes, '\0');
  text = text.left(kMaxKeyDigits);
  for (qsizetype i = 0; i < text.size(); i += 2) {
    const int high = qMax(HexDigitValue(text[i]), 0);
    const int byte = i + 1 < text.size() ? (high << 4) | qMax(HexDigitValue(text[i + 1]), 0) : high;
    key[i / 2] = static_cast<char>(byte);
  }
  return key;
}

std::optional<QByteArray> SystemIdentifierBytes(QStringView text) {
  if (!text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) return text.toUtf8();
  const QStringView digits = text.mid(2);
  if (digits.size() % 2 != 0 || !IsHexText(digits)) return std::nullopt;
  QByteArray bytes;
  for (qsizetype i = 0; i < digits.size(); i += 2) {
    bytes.append(static_cast<char>((HexDigitValue(digits[i]) << 4) | HexDigitValue(digits[i + 1])));
  }
  return bytes;
}

quint16 AccessRightsWord(const KeyPlan &plan, int key_count) {
  const int change = key_count >= 1 ? 0 : kNibbleFree;
  return static_cast<quint16>(((plan.read_nibble & 0xF) << 12) | ((plan.write_nibble & 0xF) << 8) |
                              ((plan.read_write_nibble & 0xF) << 4) | change);
}

JobCheck BuildKeyPlan(const DesfireSet &job, KeyPlan &plan) {
  plan = KeyPlan{};

  if (!IsKeyText(job.card_key)) return NotHex(JobField::kCardKey);
  plan.card_master_key = HexKeyToBytes(job.card_key);

  if (!job.app_key.isEmpty() && job.key_count >= 1) {
    if (!IsKeyText(job.app_key)) return NotHex(JobField::kAppKey);
    plan.app_master_key = HexKeyToBytes(job.app_key);
  }

  const std::optional<Right> read =
      ReadRight(job.read_key_nr, job.key_count, job.read_key, plan, NoEarlierRight);
  if (!read) return NotHex(JobField::kReadKey);
  plan.read_nibble = read->nibble;
  plan.read_key = read->key;

  const std::optional<Right> write =
      ReadRight(job.write_key_nr, job.key_count, job.write_key, plan, SameAsRead);
  if (!write) return NotHex(JobField::kWriteKey);
  plan.write_nibble = write->nibble;
  plan.write_key = write->key;

  const std::optional<Right> read_write =
      ReadRight(job.read_write_key_nr, job.key_count, job.read_write_key, plan, SameAsReadOrWrite);
  if (!read_write) return NotHex(JobField::kReadWriteKey);
  plan.read_write_nibble = read_write->nibble;
  plan.read_write_key = read_write->key;

  if (plan.read_nibble == kNibbleNone && plan.read_write_nibble == kNibbleNone) {
    return JobCheck::Refused(Texts::tr("Kein Lesezugriff erlaubt, entweder bei Lesen oder bei "
                                       "Lesen/Schreiben den Zugriff erlauben"),
                             JobField::kNone);
  }
  if (plan.write_nibble == kNibbleNone && plan.read_write_nibble == kNibbleNone) {
    return JobCheck::Refused(
        Texts::tr("Kein Schreibzugriff erlaubt, entweder bei Schreiben oder bei "
                  "Lesen/Schreiben den Zugriff erlauben"),
        JobField::kNone);
  }

  // One key number carries one key value: the first right naming it decides.
  if (NeedsKey(plan.read_nibble) && plan.read_nibble == plan.write_nibble) {
    plan.write_key = plan.read_key;
  }
  if (NeedsKey(plan.read_nibble) && plan.read_nibble == plan.read_write_nibble) {
    plan.read_write_key = plan.read_key;
  } else if (NeedsKey(plan.write_nibble) && plan.write_nibble == plan.read_write_nibble) {
    plan.read_write_key = plan.write_key;
  }
  return BuildDerivation(job, plan);
}

JobCheck ValidateWriteJob(const DesfireSet &job, KeyPlan &plan) {
  if (JobCheck ranges = CheckJobRanges(job); !ranges.ok) return ranges;
  if (JobCheck data = CheckDataText(job); !data.ok) return data;
  return BuildKeyPlan(job, plan);
}

JobCheck CheckDataText(const DesfireSet &job) {
  if (job.data.isEmpty()) {
    return JobCheck::Refused(Texts::tr("Keine Daten vorhanden!"), JobField::kData);
  }
  if (job.representation == Representation::kBinary) {
    if (job.number_format == NumberFormat::kDecimal) {
      if (job.length > kMaxDecimalBytes) return LengthOverDecimal();
      if (!IsDecimalText(job.data)) {
        return JobCheck::Refused(Texts::tr("Keine Dezimal-Eingabe"), JobField::kData, true);
      }
    } else if (!IsHexText(job.data)) {
      return NotHex(JobField::kData);
    }
  }
  // A value the file cannot hold whole would be cut on the card and reported as written.
  DesfireSet tidy = job;
  NormaliseValue(tidy, 0);
  if (!ValueFitsFile(tidy, tidy.data)) return ValueDoesNotFit(tidy);
  return JobCheck::Passed();
}

QString ValueDoesNotFitText(const DesfireSet &job) {
  return Texts::tr("Der Wert <%1> passt nicht in die Datei mit %2 Bytes!")
      .arg(job.data)
      .arg(job.length);
}

JobCheck ValidateReadJob(const DesfireSet &job, KeyPlan &plan) {
  if (JobCheck ranges = CheckJobRanges(job); !ranges.ok) return ranges;
  if (job.representation == Representation::kBinary &&
      job.number_format == NumberFormat::kDecimal && job.length > kMaxDecimalBytes) {
    return LengthOverDecimal();
  }
  return BuildKeyPlan(job, plan);
}

}  // namespace quillmate
