// The exit codes of quillmate-cli, fixed for scripts and production lines.
#pragma once

namespace quillmate::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitCardFailed = 1;  // a card operation failed
inline constexpr int kExitUsage = 2;       // bad usage or a refused job
inline constexpr int kExitNoReader = 3;    // the reader could not be opened or identified
inline constexpr int kExitLedger = 4;      // the series' ledger could not be reached or failed

}  // namespace quillmate::cli
