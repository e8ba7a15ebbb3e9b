// The "list" result convention of the library's calls that hand out names.
#include "api/name_list.h"

#include <cstring>

namespace kovra {

int WriteNameList(const std::vector<std::string> &names, char *buffer, int size) {
  if (buffer == nullptr || size < 1) return 0;
  const auto capacity = static_cast<size_t>(size);
  size_t used = 0;
  for (const std::string &name : names) {
    // A name with a NUL inside would read as two names; it ends where the caller would stop.
    const size_t length = std::strlen(name.c_str());
    if (used + length + 1 + 1 > capacity) break;
    std::memcpy(buffer + used, name.c_str(), length + 1);
    used += length + 1;
  }
  buffer[used] = '\0';
  return static_cast<int>(used + 1);
}

}  // namespace kovra
