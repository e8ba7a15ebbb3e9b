// Checking one ledger row read back from PostgreSQL.
#include "writer/ledger/postgres_rows.h"

#include <QDateTime>

#include <cctype>

namespace quillmate {
namespace {

std::optional<std::int64_t> Number(const std::optional<QByteArray> &field) {
  if (!field) return std::nullopt;
  bool ok = false;
  const qlonglong number = field->toLongLong(&ok);
  if (!ok) return std::nullopt;
  return number;
}

std::optional<QDateTime> Time(const std::optional<QByteArray> &field) {
  const std::optional<std::int64_t> ms = Number(field);
  // Before 1970 or after 9999 no card was ever written.
  if (!ms || *ms < 0 || *ms > 253402300799999) return std::nullopt;
  return QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC);
}

}  // namespace

std::optional<LedgerEntry> LedgerEntryFromRow(const LedgerRowFields &fields) {
  for (int column : {0, 1, 2, 3, 4, 5, 6, 8, 9, 10}) {
    if (!fields[static_cast<std::size_t>(column)]) return std::nullopt;
  }
  LedgerEntry entry;
  const std::optional<std::int64_t> id = Number(fields[0]);
  if (!id || *id <= 0) return std::nullopt;
  entry.id = *id;
  entry.series = QString::fromUtf8(*fields[1]);
  entry.value = QString::fromUtf8(*fields[2]);
  const QByteArray &uid_hex = *fields[3];
  if (uid_hex.size() % 2 != 0) return std::nullopt;
  for (char digit : uid_hex) {
    if (!std::isxdigit(static_cast<unsigned char>(digit))) return std::nullopt;
  }
  entry.uid = QByteArray::fromHex(uid_hex);
  entry.station = QString::fromUtf8(*fields[4]);
  entry.operator_name = QString::fromUtf8(*fields[5]);
  const std::optional<QDateTime> reserved = Time(fields[6]);
  if (!reserved) return std::nullopt;
  entry.reserved_at = *reserved;
  entry.job_fingerprint = QString::fromUtf8(*fields[8]);
  const std::optional<LedgerResult> result = LedgerResultFromWord(QString::fromUtf8(*fields[9]));
  if (!result) return std::nullopt;
  entry.result = *result;
  if (fields[7]) {
    const std::optional<QDateTime> finished = Time(fields[7]);
    if (!finished) return std::nullopt;
    entry.finished_at = *finished;
  } else if (entry.result != LedgerResult::kReserved) {
    return std::nullopt;
  }
  if (*fields[10] != "t" && *fields[10] != "f") return std::nullopt;
  entry.reissue = *fields[10] == "t";
  return entry;
}

}  // namespace quillmate
