// Sends reply bytes at their due times from a thread of its own, so that a simulated reader can
// answer late or in pieces the way a slow link does. It knows nothing of frames.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "sim/frame_codec.h"

namespace kovra_sim {

class DeliveryScheduler {
 public:
  struct Piece {
    SimClock::time_point due;
    Bytes bytes;
    bool ends_reply = false;  // the last piece of one reply
    // When set, the piece is due this long after the previous piece was handed over (so the gap
    // holds even when that piece went out late), and `due` is not used.
    std::optional<SimClock::duration> after_previous;
  };
  // Called on the scheduler's thread, one piece at a time, in the order the pieces were queued.
  using Emit = std::function<void(const Piece &piece)>;

  explicit DeliveryScheduler(Emit emit);
  ~DeliveryScheduler();  // Stop()
  DeliveryScheduler(const DeliveryScheduler &) = delete;
  DeliveryScheduler &operator=(const DeliveryScheduler &) = delete;

  // Queues pieces behind those already queued. Each is emitted at its due time, and never before
  // the pieces ahead of it. The thread starts with the first call. Ignored once stopped.
  void Schedule(std::vector<Piece> pieces);

  // True when nothing is queued and no piece is being emitted.
  bool Idle() const;
  // Waits until Idle() or until the timeout has passed; returns Idle().
  bool WaitUntilIdle(SimClock::duration timeout) const;
  // Drops the queued pieces; a piece being emitted still completes.
  void CancelPending();

  // Drops the queued pieces and ends the thread. When it returns, Emit is not running and is never
  // called again. Must not be called from inside Emit. Safe to call more than once.
  void Stop();

 private:
  void Run();

  Emit emit_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<Piece> queue_;
  bool emitting_ = false;
  bool stopping_ = false;
  uint64_t cancellations_ = 0;  // lets a thread waiting for the front piece notice a cancel
  SimClock::time_point last_handed_over_{};  // when the previous Emit returned
  std::thread thread_;
};

}  // namespace kovra_sim
