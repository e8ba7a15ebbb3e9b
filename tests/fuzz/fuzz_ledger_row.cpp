// Ledger rows read back from a PostgreSQL database that anyone with access may have written:
// any bytes as the eleven fields of a row. The check must refuse or give an entry that keeps the
// ledger's promises (a positive id, a known result, a finishing time on every finished row).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "writer/ledger/postgres_rows.h"

using namespace quillmate;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Fields are split at 0xFF; a field of the single byte 0xFE is SQL NULL.
  LedgerRowFields fields;
  std::size_t column = 0;
  QByteArray field;
  const auto close_field = [&] {
    if (column < fields.size()) {
      fields[column] = field == QByteArray("\xFE") ? std::nullopt : std::optional(field);
    }
    ++column;
    field.clear();
  };
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF) {
      close_field();
    } else {
      field.append(static_cast<char>(data[i]));
    }
  }
  close_field();
  const std::optional<LedgerEntry> entry = LedgerEntryFromRow(fields);
  if (!entry) return 0;
  if (entry->id <= 0 || !entry->reserved_at.isValid()) std::abort();
  if (LedgerResultFromWord(LedgerResultWord(entry->result)) != entry->result) std::abort();
  if (entry->result != LedgerResult::kReserved && !entry->finished_at.isValid()) std::abort();
  if (entry->uid.toHex() != fields[3]->toLower()) std::abort();
  return 0;
}
