// The handles the vendors' USB libraries (D2XX, USBXpress) give out, and which of them may be
// used. Both libraries hand out pointers and answer "no handle" with INVALID_HANDLE_VALUE, which
// their Linux headers define as 0xFFFFFFFF: a 32-bit number widened to a pointer, not the
// all-ones pointer of Windows. A handle compared only with null and the all-ones pointer lets a
// failed open go on as if it had worked.
#pragma once

#include <cstdint>

namespace kovra {

// INVALID_HANDLE_VALUE as the vendors' Linux headers define it.
inline void *LinuxInvalidHandle() {
  return reinterpret_cast<void *>(uintptr_t{0xFFFFFFFFu});
}

// True for a handle a library may be called with: not null, not the Linux INVALID_HANDLE_VALUE,
// and not the all-ones pointer (what a library built with the Windows definition answers).
inline bool IsUsableVendorHandle(const void *handle) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  return value != 0 && value != uintptr_t{0xFFFFFFFFu} && value != ~uintptr_t{0};
}

}  // namespace kovra
