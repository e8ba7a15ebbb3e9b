// Trace output to a tracer program running beside the application (kovra-tracer). The tracer
// listens on a Unix datagram socket "UloTracer" in $XDG_RUNTIME_DIR (else /tmp); every text goes
// out as 32-bit values of up to four characters each, the first character in the lowest byte.
// Without a tracer a trace costs one failed lookup of the socket and nothing else.
#pragma once

namespace kovra::trace {

// Sends a finished text. Result: the number of values sent, 0 when no tracer listens.
int Trace(const char *text);

// Formats printf-style into 512 bytes (longer output is cut) and sends it with Trace.
int TraceFormatted(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kovra::trace
