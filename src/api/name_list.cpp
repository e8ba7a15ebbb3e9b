#include "api/name_list.h"

#include <cstring>

namespace kovra {

int CopyNameList(const std::vector<std::string> &names, char *buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  const size_t capacity = static_cast<size_t>(size);
  size_t used = 0;
  for (const std::string &name : names) {
    if (used + name.size() + 2 > capacity) break;  // the name, its NUL and the closing NUL
    std::memcpy(buffer + used, name.c_str(), name.size() + 1);
    used += name.size() + 1;
  }
  buffer[used] = '\0';
  return static_cast<int>(used + 1);
}

}  // namespace kovra
