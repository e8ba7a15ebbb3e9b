// Process-wide pools of port handle numbers.
#include "reader/handle_pool.h"

namespace kovra {

int HandlePool::Acquire() {
  std::lock_guard<std::mutex> lock(mutex_);
  int candidate = base_ + 1;
  for (int used : in_use_) {  // ordered: the first gap is the smallest free number
    if (used != candidate) break;
    ++candidate;
  }
  in_use_.insert(candidate);
  return candidate;
}

void HandlePool::Release(int handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  in_use_.erase(handle);
}

HandlePool &HandlePool::Serial() {
  static HandlePool *const pool = new HandlePool(0);
  return *pool;
}

HandlePool &HandlePool::Hid() {
  static HandlePool *const pool = new HandlePool(10000);
  return *pool;
}

HandlePool &HandlePool::Pcsc() {
  static HandlePool *const pool = new HandlePool(30000);
  return *pool;
}

HandlePool &HandlePool::Lan() {
  static HandlePool *const pool = new HandlePool(20000);
  return *pool;
}

}  // namespace kovra
