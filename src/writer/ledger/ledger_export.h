// A series' ledger rows for the customer's system: CSV (one row per ledger entry) and JSON (the
// series' summary and an array of the entries). WriteWholeFile (records/whole_file.h) puts them on
// the disk.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "writer/ledger/series_ledger.h"

namespace quillmate {

enum class LedgerExportFormat { kCsv, kJson };

// "csv" or "json" as a command line names them; nullopt for any other word.
std::optional<LedgerExportFormat> LedgerExportFormatFromWord(const QString &word);

// The export's column names, in their order: series, value, uid, station, operator, reserved_at,
// finished_at, job_fingerprint, result, reissue.
const QStringList &LedgerExportColumns();

// A UID as the card log shows it: its bytes from the last to the first, two upper-case hex digits
// each, no separator (every length, not only the 4 and 7 bytes the log knows); empty for none.
QString LedgerUidText(const QByteArray &uid);

// A ledger time in ISO 8601 UTC with milliseconds ("2026-03-01T09:15:02.250Z"); empty for an
// invalid time (a row not finished yet).
QString LedgerTimeText(const QDateTime &time);

// CSV after RFC 4180, UTF-8 without byte order mark, CRLF line ends: the header row, then one row
// per entry in the given order. A field holding a comma, a double quote, CR or LF is quoted (quotes
// doubled). A field a spreadsheet would run as a formula (starting with '=', '+', '-', '@', TAB or
// CR) gets a leading apostrophe and is quoted, so the spreadsheet shows it as text; an importer
// that wants the exact text drops that one apostrophe (or reads the JSON, which is never changed).
QByteArray LedgerCsv(const std::vector<LedgerEntry> &entries);

// JSON, UTF-8, indented: {"series": NAME, "summary": {cards, failures, gaps, reissues,
// first_value, last_value, stations}, "entries": [{one member per column; reissue a boolean,
// finished_at null while the row is not finished}]}.
QByteArray LedgerJson(const LedgerSummary &summary, const std::vector<LedgerEntry> &entries);

// The export in `format` of a series' summary and rows.
QByteArray LedgerExport(LedgerExportFormat format, const LedgerSummary &summary,
                        const std::vector<LedgerEntry> &entries);

}  // namespace quillmate
