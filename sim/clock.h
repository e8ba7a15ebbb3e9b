// The time the card field runs on. By default the steady clock; tests that check the timing of a
// card flow drive a ManualClock instead, so that no test has to sleep through it.
#pragma once

#include <atomic>
#include <functional>

#include "sim/frame_codec.h"

namespace kovra_sim {

// Returns the current time. An empty NowFn stands for SimClock::now.
using NowFn = std::function<SimClock::time_point()>;

// A clock that moves only when told to. Thread-safe. Must outlive every NowFn taken from it.
class ManualClock {
 public:
  ManualClock() : now_(SimClock::now().time_since_epoch().count()) {}
  SimClock::time_point Now() const { return SimClock::time_point(SimClock::duration(now_.load())); }
  void Advance(SimClock::duration by) { now_.fetch_add(by.count()); }
  NowFn Fn() {
    return [this] { return Now(); };
  }

 private:
  std::atomic<SimClock::rep> now_;
};

}  // namespace kovra_sim
