// The C API never lets a C++ exception out: each exported function runs its body through
// Guarded, which turns any exception into the function's failure value.
#pragma once

#include <utility>

namespace kovra {

template <typename Result, typename Body>
Result Guarded(Result failure, Body &&body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return failure;
  }
}

}  // namespace kovra
