// SIGTERM and SIGINT reach the Qt event loop as a call of a function, through a pipe the signal
// handler writes to (nothing else may be done inside a handler).
#pragma once

#include <functional>

namespace quillmate::ui {

// From now on each SIGTERM or SIGINT calls `on_signal` on the event loop's thread.
void WatchTerminationSignals(std::function<void()> on_signal);
// The signals' default actions again.
void StopWatchingTerminationSignals();

}  // namespace quillmate::ui
