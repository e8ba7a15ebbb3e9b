// Small helpers of the network reader tests that run in namespaces.
#pragma once

#include <chrono>
#include <string>

#include "kovra.h"

namespace kovra_test {

// The reader's version through KOVRA_GetVersion; empty when the call fails.
inline std::string Version(int handle) {
  unsigned char buffer[8] = {};
  const int got = KOVRA_GetVersion(handle, buffer, sizeof buffer);
  return got > 0 ? std::string(reinterpret_cast<char *>(buffer), static_cast<size_t>(got)) : "";
}

inline std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

}  // namespace kovra_test
