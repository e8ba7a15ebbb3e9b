// Runs a blocking library call (a network search, a reader's reconfiguration: seconds long) on a
// thread of its own while the window keeps repainting; the operator's input is held off by a
// BusyGuard meanwhile. Returns when the call has ended.
#pragma once

#include <functional>

namespace quillmate::ui {

void RunInBackground(const std::function<void()> &call);

// Lets `ms` pass while the window keeps repainting; the operator's input waits meanwhile.
void PauseWithEvents(int ms);

}  // namespace quillmate::ui
