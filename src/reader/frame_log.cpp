// The hex frame trace on stderr, switched on by KOVRA_FRAME_TRACE=1 in the environment.
#include "reader/frame_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kovra {

bool FrameLogEnabled() {
  static const bool enabled = [] {
    const char *value = std::getenv("KOVRA_FRAME_TRACE");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
  }();
  return enabled;
}

void LogFrame(char direction, int handle, const uint8_t *bytes, size_t count) {
  if (!FrameLogEnabled()) return;
  std::string line = "kovra[" + std::to_string(handle) + "] " + direction;
  static const char kHex[] = "0123456789ABCDEF";
  for (size_t i = 0; i < count; ++i) {
    line += ' ';
    line += kHex[bytes[i] >> 4];
    line += kHex[bytes[i] & 0x0F];
  }
  line += '\n';
  std::fputs(line.c_str(), stderr);  // one call per line, so lines of two ports do not mix
}

}  // namespace kovra
