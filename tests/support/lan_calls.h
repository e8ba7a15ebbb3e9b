// The library's network reader calls as tests use them.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kovra.h"

namespace kovra_test {

// The reader's version through KOVRA_GetVersion; empty when the call fails.
inline std::string Version(int handle) {
  unsigned char buffer[8] = {};
  const int got = KOVRA_GetVersion(handle, buffer, sizeof buffer);
  return got > 0 ? std::string(reinterpret_cast<char *>(buffer), static_cast<size_t>(got)) : "";
}

// The names of a list result (NUL-terminated names and a closing NUL, `used` bytes).
inline std::vector<std::string> Entries(const char *buffer, int used) {
  std::vector<std::string> entries;
  for (int at = 0; at < used - 1; at += static_cast<int>(entries.back().size()) + 1) {
    entries.emplace_back(buffer + at);
  }
  return entries;
}

// The entries of KOVRA_ListLanPorts (`filtered`) or KOVRA_SearchLanDevices.
inline std::vector<std::string> Search(bool filtered) {
  char buffer[1024];
  return Entries(buffer, filtered ? KOVRA_ListLanPorts(buffer, sizeof buffer)
                                  : KOVRA_SearchLanDevices(buffer, sizeof buffer));
}

inline std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

// Whether `condition` holds within `within`: for what a reader does with a datagram it was sent
// (nothing answers an end of configuration).
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds within = std::chrono::seconds(2)) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace kovra_test
