#include "writer/writer_context.h"

#include <chrono>
#include <thread>

#include "kovra.h"

namespace quillmate {

QString LastErrorText(const WriterContext &context) {
  char text[512];
  const int length = KOVRA_GetErrorText(context.handle, context.language, text, sizeof text);
  return QString::fromUtf8(text, length > 0 ? length : 0);
}

WriterContext MakeWriterContext(int handle, StatusSink &status, Prompter &prompter) {
  WriterContext context;
  context.handle = handle;
  context.status = &status;
  context.prompter = &prompter;
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
