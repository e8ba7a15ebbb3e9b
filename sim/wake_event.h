// An eventfd that ends a server thread's poll. It is open for the object's whole life, so any
// thread may Signal() it without a lock for as long as the object exists; the server polls Fd()
// for POLLIN and calls Drain() when it fires.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace kovra_sim {

class WakeEvent {
 public:
  WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~WakeEvent() {
    if (fd_ >= 0) ::close(fd_);
  }
  WakeEvent(const WakeEvent &) = delete;
  WakeEvent &operator=(const WakeEvent &) = delete;

  // False when the eventfd could not be made (no descriptors left).
  bool Valid() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Signal() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof(one));
  }
  void Drain() const {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof(value));
  }

 private:
  const int fd_;
};

}  // namespace kovra_sim
