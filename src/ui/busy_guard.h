// While a single card operation runs, the window keeps repainting (the library's wait handler
// processes events during every reader wait), but the operator's clicks and keys are dropped, not
// queued: a second click on "Einzeln" must not start a second operation, neither now nor after
// the first one ends. The wait cursor shows that the program is busy. A window that opens while
// the operation runs (the question "Bitte Karte auflegen!") takes input as usual.
#pragma once

namespace quillmate::ui {

class BusyGuard {
 public:
  BusyGuard();
  ~BusyGuard();
  BusyGuard(const BusyGuard &) = delete;
  BusyGuard &operator=(const BusyGuard &) = delete;

  // True while any BusyGuard lives.
  static bool Busy();
};

}  // namespace quillmate::ui
