// An exclusive lock that processes sharing a file take around a read-change-write of it.
#include "support/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "support/regular_file.h"

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
  // A link put in place of the companion is not followed: taking the lock would create or open
  // the file it points at.
  OpenedFile opened = OpenRegularFile(lock_path, O_RDWR | O_CREAT, 0600);
  if (!opened.ok()) {
    error_ = opened.error;
    return;
  }
  const int fd = opened.fd;
  // Holders keep the lock for a read and a write of a small file; a short poll is enough and,
  // unlike a blocking flock, cannot hang on a holder that never lets go.
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
