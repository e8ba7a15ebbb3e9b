// Sends reply bytes at their due times from a thread of its own, so that a simulated reader can
// answer late or in pieces the way a slow link does.
#include "sim/delivery_scheduler.h"

#include <sys/prctl.h>

#include <utility>

namespace kovra_sim {

DeliveryScheduler::DeliveryScheduler(Emit emit) : emit_(std::move(emit)) {}

DeliveryScheduler::~DeliveryScheduler() {
  Stop();
}

void DeliveryScheduler::Schedule(std::vector<Piece> pieces) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    for (Piece &piece : pieces) queue_.push_back(std::move(piece));
    if (!thread_.joinable()) thread_ = std::thread(&DeliveryScheduler::Run, this);
  }
  changed_.notify_all();
}

bool DeliveryScheduler::Idle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.empty() && !emitting_;
}

bool DeliveryScheduler::WaitUntilIdle(SimClock::duration timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return queue_.empty() && !emitting_; });
}

void DeliveryScheduler::CancelPending() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    ++cancellations_;
  }
  changed_.notify_all();
}

void DeliveryScheduler::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void DeliveryScheduler::Run() {
  // A modelled reply goes out when it is due, not up to the kernel's default timer slack (50 µs)
  // later: benchmarks would count that lateness as the host's time.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const Piece &front = queue_.front();
    const SimClock::time_point due =
        front.after_previous ? last_handed_over_ + *front.after_previous : front.due;
    if (SimClock::now() < due) {
      // Pieces queued meanwhile go behind the front one, so only a stop or a cancel can change
      // what is due first.
      const uint64_t cancellations = cancellations_;
      changed_.wait_until(lock, due, [&] { return stopping_ || cancellations_ != cancellations; });
      continue;
    }
    Piece piece = std::move(queue_.front());
    queue_.pop_front();
    emitting_ = true;
    lock.unlock();
    emit_(piece);
    const SimClock::time_point handed_over = SimClock::now();
    lock.lock();
    last_handed_over_ = handed_over;
    emitting_ = false;
    changed_.notify_all();
  }
}

}  // namespace kovra_sim
