// Files in folders that others may write (a shared configuration folder, a log folder on a share).
#include "support/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillmate {

PathKind PathKindOf(const std::string &path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing : PathKind::kOther;
  }
  if (S_ISLNK(info.st_mode)) return PathKind::kSymbolicLink;
  return S_ISREG(info.st_mode) ? PathKind::kRegularFile : PathKind::kOther;
}

OpenedFile OpenRegularFile(const std::string &path, int flags, mode_t mode) {
  OpenedFile opened;
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) {
    // O_NOFOLLOW answers a link with ELOOP, whose text ("too many levels") would mislead.
    const bool link = errno == ELOOP && PathKindOf(path) == PathKind::kSymbolicLink;
    opened.error = path + ": " + (link ? "is a symbolic link" : std::strerror(errno));
    return opened;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    opened.error = path + ": is not a regular file";
    ::close(fd);
    return opened;
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    opened.error = path + ": " + std::strerror(errno);
    ::close(fd);
    return opened;
  }
  opened.fd = fd;
  return opened;
}

}  // namespace quillmate
