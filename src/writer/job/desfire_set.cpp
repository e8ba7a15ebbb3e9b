// The write job: the access-right list and the checks that take a field's text into the job.
#include "writer/job/desfire_set.h"

#include <QCoreApplication>

#include <algorithm>
#include <optional>

namespace quillmate {
namespace {

// The operator texts of this file, context "DesfireSet" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(DesfireSet)
};

QString RangeMessage(const QString &low, const QString &high) {
  return Texts::tr("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.").arg(low, high);
}

QString Hex(int value) {
  return QString::number(value, 16).toUpper();
}

// Reads digits of the given base (with an optional sign for base 10) without the locale. A value
// beyond any range a field has saturates, so "0000000000001" and "99999999999" both judge right.
std::optional<qint64> ReadInteger(QStringView text, int base) {
  text = text.trimmed();
  bool negative = false;
  if (base == 10 && !text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text = text.mid(1);
  }
  if (text.isEmpty()) return std::nullopt;
  constexpr qint64 kSaturated = qint64{1} << 40;
  qint64 value = 0;
  for (QChar c : text) {
    const char16_t u = c.unicode();
    int digit;
    if (u >= u'0' && u <= u'9') {
      digit = u - u'0';
    } else if (base == 16 && u >= u'a' && u <= u'f') {
      digit = u - u'a' + 10;
    } else if (base == 16 && u >= u'A' && u <= u'F') {
      digit = u - u'A' + 10;
    } else {
      return std::nullopt;
    }
    value = std::min(value * base + digit, kSaturated);
  }
  return negative ? -value : value;
}

FieldValue ParseRanged(QStringView text, int base, int low, int high, JobField field) {
  const std::optional<qint64> read = ReadInteger(text, base);
  if (!read)
    return {0, JobCheck::Refused(Texts::tr("Geben Sie eine ganze Zahl ein."), field, true)};
  if (*read < low || *read > high) {
    const QString low_text = base == 16 ? Hex(low) : QString::number(low);
    const QString high_text = base == 16 ? Hex(high) : QString::number(high);
    return {0, JobCheck::Refused(RangeMessage(low_text, high_text), field, true)};
  }
  return {static_cast<int>(*read), JobCheck::Passed()};
}

}  // namespace

int FileModeByte(FileMode mode) {
  switch (mode) {
    case FileMode::kPlain:
      return 0x00;
    case FileMode::kPlainWithMac:
      return 0x01;
    case FileMode::kEnciphered:
      return 0x03;
  }
  return 0x00;
}

QList<AccessEntry> AccessListFor(int key_count) {
  key_count = std::clamp(key_count, kMinKeyCount, kMaxKeyCount);
  QList<AccessEntry> list{{Texts::tr("Kein Zugriff"), 15}, {Texts::tr("Freier Zugriff"), 14}};
  if (key_count >= 1) list.append({Texts::tr("App Master Key"), 0});
  for (int key = 1; key <= key_count - 1; ++key) list.append({Texts::tr("Key %1").arg(key), key});
  return list;
}

QList<AccessEntry> FillAccessLists(DesfireSet &job) {
  QList<AccessEntry> list = AccessListFor(job.key_count);
  for (int *index : {&job.read_key_nr, &job.write_key_nr, &job.read_write_key_nr}) {
    if (*index < 0 || *index >= list.size()) *index = 0;
  }
  return list;
}

FieldValue ParseAppId(QStringView text) {
  return ParseRanged(text, 16, kMinAppId, kMaxAppId, JobField::kAppId);
}

FieldValue ParseFileId(QStringView text) {
  return ParseRanged(text, 16, kMinFileId, kMaxFileId, JobField::kFileId);
}

FieldValue ParseKeyCount(QStringView text) {
  return ParseRanged(text, 10, kMinKeyCount, kMaxKeyCount, JobField::kKeyCount);
}

FieldValue ParseLength(QStringView text) {
  return ParseRanged(text, 10, 0, kMaxLength, JobField::kLength);
}

JobCheck CheckJobRanges(const DesfireSet &job) {
  if (job.app_id < kMinAppId || job.app_id > kMaxAppId)
    return JobCheck::Refused(RangeMessage(Hex(kMinAppId), Hex(kMaxAppId)), JobField::kAppId, true);
  if (job.file_id < kMinFileId || job.file_id > kMaxFileId)
    return JobCheck::Refused(RangeMessage(Hex(kMinFileId), Hex(kMaxFileId)), JobField::kFileId,
                             true);
  if (job.key_count < kMinKeyCount || job.key_count > kMaxKeyCount)
    return JobCheck::Refused(
        RangeMessage(QString::number(kMinKeyCount), QString::number(kMaxKeyCount)),
        JobField::kKeyCount, true);
  if (job.length < 0 || job.length > kMaxLength)
    return JobCheck::Refused(RangeMessage(QStringLiteral("0"), QString::number(kMaxLength)),
                             JobField::kLength, true);
  // The list choices: a hand-edited job file may hold any number, which would otherwise act as
  // some other choice (no number format, binary, normal order) without a word.
  const struct {
    int value;
    int max;
    JobField field;
  } choices[] = {
      {static_cast<int>(job.file_mode), 2, JobField::kFileMode},
      {static_cast<int>(job.number_format), 2, JobField::kNumberFormat},
      {static_cast<int>(job.representation), 1, JobField::kRepresentation},
      {static_cast<int>(job.orientation), 1, JobField::kOrientation},
  };
  for (const auto &choice : choices) {
    if (choice.value < 0 || choice.value > choice.max) {
      return JobCheck::Refused(RangeMessage(QStringLiteral("0"), QString::number(choice.max)),
                               choice.field);
    }
  }
  return JobCheck::Passed();
}

}  // namespace quillmate
