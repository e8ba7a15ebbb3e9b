// Calls into the PC/SC client library with a bound. pcsc-lite's calls block until the daemon
// answers, and SCardTransmit has no timeout of its own: a silent card or a daemon that hangs would
// hold the caller for ever. Each call runs on the link's own thread while the caller waits for it
// at most its timeout and calls the application's wait handler meanwhile.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace kovra {

class BoundedCalls {
 public:
  BoundedCalls();
  // Ends the thread: joined when it is idle; a call still running at its bound (the daemon never
  // answered) is left to end on its own, with the state it needs, so destruction never waits.
  ~BoundedCalls();
  BoundedCalls(const BoundedCalls &) = delete;
  BoundedCalls &operator=(const BoundedCalls &) = delete;

  // Runs `call` on the thread and waits for it until `timeout` has passed, calling `tick` (when
  // not empty) at least every 10 ms meanwhile. A call that has not ended by then goes on alone and
  // its result is dropped; the next Run first waits for it, within its own timeout. `call` must
  // therefore own everything it uses (capture by value). True when `call` ran to its end in time.
  bool Run(std::function<void()> call, std::chrono::milliseconds timeout,
           const std::function<void()> &tick);

  // The same for a call with a result: nothing when it did not end in time.
  template <typename Result>
  std::optional<Result> Call(std::function<Result()> call, std::chrono::milliseconds timeout,
                             const std::function<void()> &tick) {
    auto result = std::make_shared<std::optional<Result>>();
    if (!Run([result, call] { *result = call(); }, timeout, tick)) return std::nullopt;
    return *result;
  }

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> job;
    bool busy = false;  // a job was posted and has not ended
    bool stop = false;
    uint64_t posted = 0;
    uint64_t finished = 0;
  };
  static void Serve(std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace kovra
