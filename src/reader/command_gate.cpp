// CommandGate: lets one thread at a time run command exchanges on a port.
#include "reader/command_gate.h"

namespace kovra {

void CommandGate::Acquire(const std::function<void(Wait)> &waiting,
                          std::chrono::milliseconds tick) {
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(mutex_);
  if (depth_ > 0 && owner_ == self) {
    ++depth_;
    return;
  }
  bool began = false;
  while (depth_ > 0) {
    if (!began && waiting) {
      lock.unlock();
      waiting(Wait::kBegin);
      lock.lock();
      began = true;
      continue;
    }
    if (released_.wait_for(lock, tick, [this] { return depth_ == 0; })) break;
    if (waiting) {
      lock.unlock();
      waiting(Wait::kTick);
      lock.lock();
    }
  }
  owner_ = self;
  depth_ = 1;
  if (began) {
    lock.unlock();
    waiting(Wait::kEnd);
  }
}

void CommandGate::unlock() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (depth_ == 0 || --depth_ > 0) return;
    owner_ = std::thread::id();
  }
  released_.notify_one();
}

}  // namespace kovra
