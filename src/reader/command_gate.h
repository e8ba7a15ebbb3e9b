// CommandGate: lets one thread at a time run command exchanges on a port. It is recursive (the
// thread that holds it may take it again: a command sent from its own wait handler goes ahead
// nested instead of waiting for itself for good), and a thread that waits for it can be told
// every few milliseconds so that it calls the application's wait handler meanwhile.
//
// Built on a plain mutex and a condition variable rather than a timed mutex, whose timed lock
// the thread sanitizer cannot see through.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kovra {

class CommandGate {
 public:
  // The events passed to a waiting thread's callback: the wait starts, goes on, is over.
  enum class Wait { kBegin, kTick, kEnd };

  // Takes the gate. While another thread holds it, `waiting` (if given) is called with kBegin,
  // then with kTick at least every `tick`, and with kEnd once the gate is taken; never with the
  // gate's own lock held. The holder's exchange bounds the wait.
  void Acquire(const std::function<void(Wait)> &waiting, std::chrono::milliseconds tick);
  // BasicLockable, for std::lock_guard: Acquire without a callback, and the release.
  void lock() { Acquire(nullptr, std::chrono::milliseconds(10)); }
  void unlock();

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  unsigned depth_ = 0;
};

}  // namespace kovra
