// An exclusive lock that processes sharing a file take around a read-change-write of it. The lock
// is an flock() on a companion file ("<path>.lck"), not on the file itself: the file is replaced
// by a rename on every write, and a lock on the old inode would not stop the next process.
#pragma once

#include <string>

namespace quillmate {

// Takes an exclusive flock() on the open descriptor `fd`, waiting at most `timeout_ms` for another
// holder to let go (a short poll: unlike a blocking flock it cannot hang on a holder that never
// lets go). Returns 0 once held (until the descriptor is closed), otherwise the errno
// (EWOULDBLOCK when another holder kept it for the whole timeout).
int LockDescriptorWithin(int fd, int timeout_ms);

class FileLock {
 public:
  // Takes the lock for `path`, waiting at most `timeout_ms` for another holder to let go. The
  // companion file is created (mode 0600) when missing and stays; a symbolic link or anything else
  // that is not a regular file in its place is refused. The lock ends with the object
  // or with the process, however it ends.
  FileLock(const std::string &path, int timeout_ms);
  ~FileLock();
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;

  // True while the lock is held. False when the companion file could not be opened (error() then
  // names it and the reason) or another process held the lock for the whole timeout.
  bool held() const { return fd_ >= 0; }
  const std::string &error() const { return error_; }

  // The companion file of `path`.
  static std::string LockPathFor(const std::string &path) { return path + ".lck"; }

 private:
  int fd_ = -1;
  std::string error_;
};

}  // namespace quillmate
