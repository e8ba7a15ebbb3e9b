#include "reader/trace.h"

namespace kovra::trace {
int Trace(const char *) { return 0; }
int TraceFormatted(const char *, ...) { return 0; }
}  // namespace kovra::trace
