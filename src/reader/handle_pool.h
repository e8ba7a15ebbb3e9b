// Process-wide pools of port handle numbers: each open port takes the smallest free number above
// its pool's base when its link is attached and gives it back when the link closes.
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

  // The library's pools. They are never destroyed: the library object closes the ports left open
  // when the process ends, and those give their numbers back after static pools would be gone.
  static HandlePool &Serial();  // 1, 2, 3, ...
  static HandlePool &Hid();     // 10001, 10002, ...
  static HandlePool &Lan();     // 20001, 20002, ...
  static HandlePool &Pcsc();    // 30001, 30002, ... (PC/SC readers)

 private:
  const int base_;
  std::mutex mutex_;
  std::set<int> in_use_;
};

}  // namespace kovra
