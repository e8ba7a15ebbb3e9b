// Trace output to a tracer program running beside the application (kovra-tracer). The tracer
// listens on a Unix datagram socket "UloTracer" in $XDG_RUNTIME_DIR, the user's own folder;
// without that variable nothing is traced (a shared folder such as /tmp is never used). Every text
// goes out as 4-byte datagrams, each a 32-bit little-endian value of up to four characters, the
// first character in the lowest byte and unused high bytes 0. Nothing marks the end of a text: the
// texts carry their own line ends. Without a tracer a trace costs one failed lookup of the socket
// and nothing else. All functions are thread-safe.
#pragma once

#include <string>

namespace kovra::trace {

// Names shared with the tracer program, both inside TracerDirectory().
inline constexpr char kTracerSocketName[] = "UloTracer";
// A lock file held with flock while one text is sent, so the values of two texts (from two
// threads or two processes) never interleave at the tracer. It is asked for without blocking.
inline constexpr char kTracerLockName[] = "UloTracerLock";

// The directory of the tracer's socket: $XDG_RUNTIME_DIR when set and not empty, else empty
// (no tracer can be reached). Read anew at each call.
std::string TracerDirectory();

// Sends a finished text. Result: the number of 4-byte values sent; 0 when no tracer listens, the
// text is empty, the lock could not be had or the first send fails. One text waits at most a
// quarter of a second for the lock and for a tracer that reads slowly; what has not gone out by
// then is dropped and the result counts the values that went out. After such a text the next ones
// do not wait at all until one goes out whole, so a tracer that stops reading or a lock that is
// never given back costs the caller that quarter second once.
int Trace(const char *text);

// Formats printf-style into 512 bytes (longer output is cut to 511 characters) and sends it with
// Trace. Result: as Trace; 0 when formatting fails.
int TraceFormatted(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kovra::trace
