#include "support/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace quillmate {

int LockDescriptorWithin(int fd, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EWOULDBLOCK && errno != EINTR) return errno;
    if (std::chrono::steady_clock::now() >= deadline) return EWOULDBLOCK;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

FileLock::FileLock(const std::string &path, int timeout_ms) {
  const std::string lock_path = LockPathFor(path);
  const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = lock_path + ": " + std::strerror(errno);
    return;
  }
  // Holders keep the lock for a read and a write of a small file; a short poll is enough.
  const int error = LockDescriptorWithin(fd, timeout_ms);
  if (error == 0) {
    fd_ = fd;
    return;
  }
  error_ =
      lock_path + ": " + (error == EWOULDBLOCK ? "held by another process" : std::strerror(error));
  ::close(fd);
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the descriptor releases the lock
}

}  // namespace quillmate
