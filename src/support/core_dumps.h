// Keeps the keys a program holds in memory out of core files: a crashed or signalled process
// would otherwise leave its card master keys readable on disk, and a dumpable process lets any
// program of the same user read its memory.
#pragma once

namespace quillmate {

// The environment variable that, set to "1", leaves core dumps as they were (for debugging).
inline constexpr char kAllowCoreDumpsVariable[] = "QUILLMATE_ALLOW_CORE_DUMPS";

// Unless QUILLMATE_ALLOW_CORE_DUMPS is "1": marks the process not dumpable (no core file, no
// ptrace or /proc/PID/mem access by other processes of the user) and sets its core size limit,
// soft and hard, to 0. Called first thing in main by every program that holds keys. True when
// dumps are off (or were allowed on purpose); false when the system refused, which the caller may
// ignore: the program still works, only without this protection.
bool DisableCoreDumpsUnlessAllowed();

}  // namespace quillmate
