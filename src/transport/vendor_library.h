// Loading a vendor's library at run time: which file to open (an environment variable names
// another, for tests and unusual installs) and looking its functions up one by one, so that a
// missing function turns off only its own calls and is named in the trace output.
#pragma once

#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "reader/trace.h"

namespace kovra {

// The file named by `variable` when it is set and not empty, else `standard`.
inline const char *VendorLibraryFile(const char *variable, const char *standard) {
  const char *file = std::getenv(variable);
  return file && *file ? file : standard;
}

// Looks `name` up in `library` into `slot`; a missing function leaves it null and says so.
template <typename Fn>
void BindVendorFunction(void *library, const char *name, Fn &slot) {
  slot = reinterpret_cast<Fn>(::dlsym(library, name));
  if (!slot)
    trace::Trace((std::string("Fehler: Kann ") + name + " nicht initialisieren\n").c_str());
}

}  // namespace kovra
