// Which jobs are a counting series and keep a ledger.
#pragma once

#include "writer/job/desfire_set.h"

namespace quillmate {

// A job that counts its value up after every card gives each value out once and keeps every one
// in the series' ledger. A job that does not count (auto-increment off, or no number format)
// writes one value to every card on purpose: it is no series and keeps no ledger rows.
inline bool IsCountingSeries(const DesfireSet &job) {
  return job.auto_increment && job.number_format != NumberFormat::kNone;
}

}  // namespace quillmate
