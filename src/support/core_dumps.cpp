// Keeps the keys a program holds in memory out of core files.
#include "support/core_dumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>

namespace quillmate {

bool DisableCoreDumpsUnlessAllowed() {
  const char *allow = std::getenv(kAllowCoreDumpsVariable);
  if (allow != nullptr && std::strcmp(allow, "1") == 0) return true;
  // Both: a core_pattern pipe need not honour the size limit, and the flag alone also keeps other
  // processes of the user out of the memory (ptrace, /proc/PID/mem).
  const bool undumpable = prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
  const rlimit none{0, 0};
  const bool no_core = setrlimit(RLIMIT_CORE, &none) == 0;
  return undumpable && no_core;
}

}  // namespace quillmate
