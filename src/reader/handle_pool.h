// Process-wide pools of port handle numbers: each open transport takes the smallest free number
// above its pool's base and gives it back when it closes.
#pragma once

#include <mutex>
#include <set>

namespace kovra {

class HandlePool {
 public:
  explicit HandlePool(int base) : base_(base) {}

  // The smallest integer above the base that is not in use; it is in use from now on.
  int Acquire();
  // Gives a number back; numbers not in use are ignored.
  void Release(int handle);

  static HandlePool &Serial();  // 1, 2, 3, ...
  static HandlePool &Hid();     // 10001, 10002, ...
  static HandlePool &Lan();     // 20001, 20002, ...

 private:
  const int base_;
  std::mutex mutex_;
  std::set<int> in_use_;
};

}  // namespace kovra
