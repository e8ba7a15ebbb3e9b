// What the card sequences share for one open reader: the port, the reporter, the clock and the
// memory of the cards seen.
#include "writer/cards/writer_context.h"

#include <chrono>
#include <thread>

namespace quillmate {

WriterContext MakeWriterContext(int handle, FrontEnd *front_end, Language language) {
  WriterContext context;
  context.handle = handle;
  context.report.SetFrontEnd(front_end);
  context.language = language;
  // The steady clock counts from boot, so its milliseconds are never 0, which the card memory
  // reserves for "no card seen".
  context.tick_ms = [] {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<quint64>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
  };
  context.sleep_ms = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  return context;
}

}  // namespace quillmate
