// The value one card of a write is about to get, shared by the files of the card operations: the
// series' part and the ledger's part of taking a value, writing it and recording it.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "writer/run/operations.h"

namespace quillmate {

// The value a card is about to get, from its taking off the series to its record.
struct CardOperations::CardValue {
  DesfireSet written;           // the job with the tidied value the card gets
  QByteArray bytes;             // the value encoded for the file
  QString next;                 // the value now stored for the next card
  bool counts = false;          // whether the store changed for this card
  QString put_back;             // what the store goes back to when the card does not take the value
  std::int64_t ledger_row = 0;  // the card's reserved ledger row; 0 without a ledger
};

}  // namespace quillmate
