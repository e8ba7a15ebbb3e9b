// Calls into the PC/SC client library with a bound.
#include "transport/pcsc/bounded_calls.h"

#include <algorithm>
#include <utility>

namespace kovra {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kTickInterval{10};

// Waits under `lock` until `done` holds or `deadline` passes, calling `tick` (outside the lock)
// every kTickInterval. True when `done` holds.
template <typename Done>
bool WaitTicking(std::unique_lock<std::mutex> &lock, std::condition_variable &changed, Done done,
                 Clock::time_point deadline, const std::function<void()> &tick) {
  Clock::time_point next_tick = Clock::now() + kTickInterval;
  for (;;) {
    if (done()) return true;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    const Clock::time_point wake = tick ? std::min(deadline, next_tick) : deadline;
    changed.wait_until(lock, wake, done);
    if (done()) return true;
    if (tick && Clock::now() >= next_tick) {
      lock.unlock();
      tick();
      lock.lock();
      next_tick = Clock::now() + kTickInterval;
    }
  }
}

}  // namespace

BoundedCalls::BoundedCalls() : shared_(std::make_shared<Shared>()) {
  thread_ = std::thread(&BoundedCalls::Serve, shared_);
}

BoundedCalls::~BoundedCalls() {
  bool idle;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stop = true;
    idle = !shared_->busy;
  }
  shared_->changed.notify_all();
  if (idle) {
    thread_.join();
  } else {
    thread_.detach();  // it ends after its call, holding the shared state until then
  }
}

void BoundedCalls::Serve(std::shared_ptr<Shared> shared) {
  std::unique_lock<std::mutex> lock(shared->mutex);
  for (;;) {
    shared->changed.wait(lock, [&] { return shared->stop || shared->job; });
    if (!shared->job) return;  // stopped and nothing left
    std::function<void()> job = std::move(shared->job);
    shared->job = nullptr;
    lock.unlock();
    job();
    job = nullptr;  // what the call owned goes before it counts as finished
    lock.lock();
    shared->busy = false;
    ++shared->finished;
    shared->changed.notify_all();
    if (shared->stop) return;
  }
}

bool BoundedCalls::Run(std::function<void()> call, std::chrono::milliseconds timeout,
                       const std::function<void()> &tick) {
  const Clock::time_point deadline = Clock::now() + timeout;
  std::unique_lock<std::mutex> lock(shared_->mutex);
  // A call abandoned earlier may still run: this one waits for it within its own bound.
  if (!WaitTicking(
          lock, shared_->changed, [&] { return !shared_->busy; }, deadline, tick)) {
    return false;
  }
  shared_->job = std::move(call);
  shared_->busy = true;
  const uint64_t ticket = ++shared_->posted;
  shared_->changed.notify_all();
  return WaitTicking(
      lock, shared_->changed, [&] { return shared_->finished >= ticket; }, deadline, tick);
}

}  // namespace kovra
