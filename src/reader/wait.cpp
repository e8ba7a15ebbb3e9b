// Timing of a wait for a reply, and the application's wait handler.
#include "reader/wait.h"

#include <mutex>

namespace kovra {

namespace {

struct InstalledHandler {
  KOVRA_WaitHandler function = nullptr;
  void *context = nullptr;
};

std::mutex &HandlerLock() {
  static std::mutex lock;
  return lock;
}

InstalledHandler &Installed() {
  static InstalledHandler handler;
  return handler;
}

InstalledHandler CurrentHandler() {
  std::lock_guard<std::mutex> lock(HandlerLock());
  return Installed();
}

}  // namespace

bool PhaseExpired(Clock::duration elapsed, unsigned timeout_ms) {
  return std::chrono::floor<std::chrono::milliseconds>(elapsed).count() >
         static_cast<long long>(timeout_ms);
}

Clock::time_point PhaseDeadline(Clock::time_point start, unsigned timeout_ms) {
  return start + std::chrono::milliseconds(static_cast<long long>(timeout_ms) + 1);
}

void SetWaitHandler(KOVRA_WaitHandler handler, void *context) {
  std::lock_guard<std::mutex> lock(HandlerLock());
  Installed() = {handler, context};
}

bool HasWaitHandler() {
  return CurrentHandler().function != nullptr;
}

void CallWaitHandler(int event, int handle, bool background_mode) {
  // Called without the lock held, so a handler may install another handler.
  const InstalledHandler handler = CurrentHandler();
  if (handler.function) handler.function(event, handle, background_mode ? 1 : 0, handler.context);
}

}  // namespace kovra
