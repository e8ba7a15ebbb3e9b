// The data text turned into the file's bytes and back, tidied, and counted up after every card.
#include "writer/job/data_codec.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <climits>
#include <limits>
#include <vector>

#include "writer/job/key_plan.h"

namespace quillmate {
namespace {

// Decimal digits of the largest unsigned number of 0 to 8 bytes.
constexpr std::array<int, kMaxDecimalBytes + 1> kDecimalDigits{0, 3, 5, 8, 10, 13, 15, 17, 20};
constexpr char kHexDigits[] = "0123456789ABCDEF";

int DigitValue(QChar c, NumberFormat format) {
  const int value = HexDigitValue(c);
  if (format == NumberFormat::kDecimal) return value >= 0 && value <= 9 ? value : -1;
  return value;
}

int Length(const DesfireSet &job) {
  return std::max(job.length, 0);
}

QByteArray HexPairs(QStringView digits) {
  QByteArray bytes;
  bytes.reserve(digits.size() / 2);
  for (qsizetype i = 0; i + 1 < digits.size(); i += 2) {
    const int byte =
        (std::max(HexDigitValue(digits[i]), 0) << 4) | std::max(HexDigitValue(digits[i + 1]), 0);
    bytes.append(static_cast<char>(byte));
  }
  return bytes;
}

// The text as a decimal integer modulo 2^64, so a value that outgrew 64 bits still yields its low
// bytes; an optional sign first, reading stops at the first other character.
quint64 DecimalModulo64(QStringView text) {
  bool negative = false;
  if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text = text.mid(1);
  }
  quint64 value = 0;
  for (QChar c : text) {
    const int digit = DigitValue(c, NumberFormat::kDecimal);
    if (digit < 0) break;
    value = value * 10 + static_cast<quint64>(digit);
  }
  return negative ? ~value + 1 : value;
}

QByteArray PaddedOrCut(QByteArray bytes, qsizetype size) {
  if (bytes.size() > size) bytes.truncate(size);
  bytes.append(QByteArray(size - bytes.size(), '\0'));
  return bytes;
}

QString HexText(const QByteArray &bytes, bool last_first) {
  QString text;
  text.reserve(bytes.size() * 2);
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[last_first ? bytes.size() - 1 - i : i]);
    text.append(QLatin1Char(kHexDigits[byte >> 4])).append(QLatin1Char(kHexDigits[byte & 0xF]));
  }
  return text;
}

QString WithLeadingZeros(const QString &text, qsizetype width) {
  return text.size() >= width ? text : QString(width - text.size(), u'0') + text;
}

// Adds one to a number written in the format's digits, from the right: a digit below the maximum
// becomes the next digit (upper-case hex); the maximum digit and any other character become 0
// and carry; a carry out of the first character prepends 1.
QString CountedUp(QString number, NumberFormat format) {
  const int max_digit = format == NumberFormat::kDecimal ? 9 : 15;
  for (qsizetype i = number.size() - 1; i >= 0; --i) {
    const int digit = DigitValue(number[i], format);
    if (digit >= 0 && digit < max_digit) {
      number[i] = QLatin1Char(kHexDigits[digit + 1]);
      return number;
    }
    number[i] = u'0';
  }
  return u'1' + number;
}

// `digits` (of `from`'s digits, reading stops at the first other character) written in `to`'s
// digits, upper-case, without leading zeros ("0" for none). Any length: a series of 32 ASCII
// digits has no machine integer.
QString InBase(QStringView digits, NumberFormat from, NumberFormat to) {
  const int from_base = from == NumberFormat::kDecimal ? 10 : 16;
  const int to_base = to == NumberFormat::kDecimal ? 10 : 16;
  std::vector<int> result;  // least significant digit first
  for (QChar c : digits) {
    int carry = DigitValue(c, from);
    if (carry < 0) break;
    for (int &digit : result) {
      const int value = digit * from_base + carry;
      digit = value % to_base;
      carry = value / to_base;
    }
    for (; carry > 0; carry /= to_base) result.push_back(carry % to_base);
  }
  QString text;
  for (auto it = result.rbegin(); it != result.rend(); ++it)
    text.append(QLatin1Char(kHexDigits[*it]));
  return text.isEmpty() ? QStringLiteral("0") : text;
}

struct SplitValue {
  QString prefix;
  QString number;
  QString suffix;
};

// The longest run of the format's digits is the number (the first of equally long runs).
SplitValue SplitAroundNumber(const QString &text, NumberFormat format) {
  qsizetype best_start = 0;
  qsizetype best_length = 0;
  for (qsizetype i = 0; i < text.size();) {
    if (DigitValue(text[i], format) < 0) {
      ++i;
      continue;
    }
    qsizetype end = i;
    while (end < text.size() && DigitValue(text[end], format) >= 0) ++end;
    if (end - i > best_length) {
      best_start = i;
      best_length = end - i;
    }
    i = end;
  }
  if (best_length == 0) return {{}, text, {}};
  return {text.left(best_start), text.mid(best_start, best_length),
          text.mid(best_start + best_length)};
}

}  // namespace

int MaxDataChars(const DesfireSet &job) {
  const qint64 length = Length(job);
  if (job.representation == Representation::kAscii) return static_cast<int>(length);
  if (job.number_format == NumberFormat::kDecimal) {
    return kDecimalDigits[static_cast<size_t>(std::min<qint64>(length, kMaxDecimalBytes))];
  }
  return static_cast<int>(std::min<qint64>(2 * length, INT_MAX));
}

JobCheck EncodeData(const DesfireSet &job, const QString &text, QByteArray &bytes) {
  const int length = Length(job);
  if (job.representation == Representation::kAscii) {
    QString chars = text.left(length);
    if (job.leading_zeros) chars = WithLeadingZeros(chars, length);
    bytes = PaddedOrCut(chars.toLatin1(), length);
  } else if (job.number_format == NumberFormat::kDecimal) {
    if (length > kMaxDecimalBytes) {
      return JobCheck::Refused(
          QCoreApplication::translate(
              "KeyPlan", "Bytanzahl größer 8 kann im Dezimal-Modus nicht bearbeitetet werden"),
          JobField::kLength, true);
    }
    const quint64 value = DecimalModulo64(text);
    bytes.clear();
    for (int i = 0; i < length; ++i) bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
  } else if (job.number_format == NumberFormat::kHexadecimal) {
    // The number is stored least significant byte first: the first digit pair is the last byte.
    const QString digits =
        WithLeadingZeros(text.left(2 * qsizetype{length}), 2 * qsizetype{length});
    bytes = HexPairs(digits);
    std::reverse(bytes.begin(), bytes.end());
  } else {
    QString digits = text.left(2 * qsizetype{length});
    digits.append(QString(2 * qsizetype{length} - digits.size(), u'0'));
    bytes = HexPairs(digits);
  }
  if (job.orientation == Orientation::kRotated) std::reverse(bytes.begin(), bytes.end());
  return JobCheck::Passed();
}

bool ValueFitsFile(const DesfireSet &job, const QString &text) {
  const qint64 length = Length(job);
  if (job.representation == Representation::kAscii) {
    QString chars = text;
    if (job.leading_zeros) chars = WithLeadingZeros(chars, length);
    return chars.size() <= length;
  }
  if (job.number_format != NumberFormat::kDecimal) return text.size() <= 2 * length;
  QStringView digits = text;
  if (!digits.isEmpty() && digits.front() == u'-') return true;
  if (!digits.isEmpty() && digits.front() == u'+') digits = digits.mid(1);
  const int bits = static_cast<int>(8 * std::min<qint64>(length, kMaxDecimalBytes));
  quint64 value = 0;
  for (QChar c : digits) {
    const int digit = DigitValue(c, NumberFormat::kDecimal);
    if (digit < 0) break;
    if (value > (std::numeric_limits<quint64>::max() - static_cast<quint64>(digit)) / 10) {
      return false;  // beyond 64 bits
    }
    value = value * 10 + static_cast<quint64>(digit);
  }
  return bits >= 64 || value < (quint64{1} << bits);
}

QString DecodeData(const DesfireSet &job, const QByteArray &read) {
  QByteArray bytes = read;
  if (job.orientation == Orientation::kRotated) std::reverse(bytes.begin(), bytes.end());
  const int length = Length(job);
  if (job.representation == Representation::kAscii) {
    QByteArray chars = bytes.left(length);
    const qsizetype end = chars.indexOf('\0');
    if (end >= 0) chars.truncate(end);
    return QString::fromLatin1(chars);
  }
  if (job.number_format == NumberFormat::kDecimal) {
    const QByteArray eight = PaddedOrCut(bytes, kMaxDecimalBytes);
    quint64 value = 0;
    for (int i = kMaxDecimalBytes - 1; i >= 0; --i) {
      value = (value << 8) | static_cast<unsigned char>(eight[i]);
    }
    const QString text = QString::number(static_cast<qint64>(value));
    return job.leading_zeros ? WithLeadingZeros(text, MaxDataChars(job)) : text;
  }
  if (job.number_format == NumberFormat::kHexadecimal) {
    QString text = HexText(PaddedOrCut(bytes, length), true);
    if (!job.leading_zeros) {
      qsizetype zeros = 0;
      while (zeros < text.size() && text[zeros] == u'0') ++zeros;
      text.remove(0, zeros);
      if (text.isEmpty()) text = QStringLiteral("0");
    }
    return text;
  }
  return HexText(PaddedOrCut(bytes, length), false);
}

void NormaliseValue(DesfireSet &job, int steps) {
  const NumberFormat format = job.number_format;
  if (format != NumberFormat::kDecimal && format != NumberFormat::kHexadecimal) return;

  SplitValue value = job.representation == Representation::kAscii
                         ? SplitAroundNumber(job.data, format)
                         : SplitValue{{}, job.data, {}};
  if (!job.prefix_allowed) {
    value.prefix.clear();
    value.suffix.clear();
  }
  qsizetype zeros = 0;
  while (zeros < value.number.size() && value.number[zeros] == u'0') ++zeros;
  value.number.remove(0, zeros);
  if (value.number.isEmpty()) value.number = QStringLiteral("0");
  for (int i = 0; i < steps; ++i) value.number = CountedUp(value.number, format);
  if (job.leading_zeros) {
    value.number = WithLeadingZeros(value.number,
                                    MaxDataChars(job) - value.prefix.size() - value.suffix.size());
  }
  job.data = value.prefix + value.number + value.suffix;
}

void ChangeRepresentation(DesfireSet &job, Representation next) {
  if (next == job.representation) return;
  if (job.number_format != NumberFormat::kNone) {
    // The number as the operator counts it, not the bytes it happened to be written as: the
    // digits of an ASCII number read as binary bytes would be another number altogether.
    const SplitValue value = SplitAroundNumber(job.data, job.number_format);
    job.representation = next;
    job.data = next == Representation::kAscii ? job.data : value.number;
    NormaliseValue(job, 0);
    return;
  }
  QByteArray bytes;
  const bool encoded = EncodeData(job, job.data, bytes).ok;
  job.representation = next;
  // A decimal binary job over 8 bytes has no bytes to show: its text stays as it was.
  if (encoded) job.data = DecodeData(job, bytes);
  NormaliseValue(job, 0);
}

void ChangeNumberFormat(DesfireSet &job, NumberFormat next) {
  const NumberFormat before = job.number_format;
  if (next == before) return;
  job.number_format = next;
  if (before != NumberFormat::kNone && next != NumberFormat::kNone) {
    SplitValue value = job.representation == Representation::kAscii
                           ? SplitAroundNumber(job.data, before)
                           : SplitValue{{}, job.data, {}};
    value.number = InBase(value.number, before, next);
    job.data = value.prefix + value.number + value.suffix;
  }
  NormaliseValue(job, 0);
}

bool ValueAlreadyGivenOut(const DesfireSet &job, const QString &value, const QString &series_next) {
  if (!job.auto_increment || job.number_format == NumberFormat::kNone) return false;
  const auto number = [&job](const QString &text) {
    QString digits = job.representation == Representation::kAscii
                         ? SplitAroundNumber(text, job.number_format).number
                         : text;
    // Only the format's digits count; leading zeros say nothing about the number.
    qsizetype end = 0;
    while (end < digits.size() && DigitValue(digits[end], job.number_format) >= 0) ++end;
    digits.truncate(end);
    qsizetype zeros = 0;
    while (zeros < digits.size() && digits[zeros] == u'0') ++zeros;
    return digits.mid(zeros).toUpper();
  };
  const QString given = number(value);
  const QString next = number(series_next);
  if (given.size() != next.size()) return given.size() < next.size();
  return given < next;  // same length: digits compare as text (0-9 before A-F)
}

}  // namespace quillmate
