// Ledger rows as the PostgreSQL ledger reads them back: the column list its queries select and
// the check that turns the fields of one row into a LedgerEntry. A row the check does not accept
// (a field missing or not what the schema allows) is reported, never guessed at.
#pragma once

#include <QByteArray>

#include <array>
#include <optional>

#include "writer/ledger/series_ledger.h"

namespace quillmate {

// The columns every query that reads ledger rows selects, in this order.
inline constexpr char kLedgerRowColumns[] =
    "id, series, value, encode(uid, 'hex'), station, operator_name, "
    "(extract(epoch FROM reserved_at) * 1000)::bigint, "
    "(extract(epoch FROM finished_at) * 1000)::bigint, job_fingerprint, result, reissue";
inline constexpr int kLedgerRowColumnCount = 11;

// The fields of one row as libpq hands them over in text form; nullopt is SQL NULL.
using LedgerRowFields = std::array<std::optional<QByteArray>, kLedgerRowColumnCount>;

// The entry `fields` describe; nullopt when a field is missing or malformed (an id that is no
// positive number, a UID that is not hex, an unknown result word, a time that is no number, a
// finished row without its time).
std::optional<LedgerEntry> LedgerEntryFromRow(const LedgerRowFields &fields);

}  // namespace quillmate
