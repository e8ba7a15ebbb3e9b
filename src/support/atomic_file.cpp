// Replacing a file's content so that a crash or a full disk never leaves it half written.
#include "support/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace quillmate {
namespace {

std::string FolderOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Failure(const char *step, const std::string &path, int error_number) {
  return std::string(step) + " " + path + ": " + std::strerror(error_number);
}

// A name beside `path` that no other writer uses: hidden, and unique per process and call, so two
// saves (also from two processes) never share a temporary file.
std::string TemporaryNameFor(const std::string &path) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + base + "." + std::to_string(getpid()) + "." +
         std::to_string(counter.fetch_add(1)) + ".tmp";
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// Makes the rename itself durable. A folder that cannot be synced (some file systems refuse)
// does not undo the save: the new content is complete either way.
void SyncFolder(const std::string &folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool ReplaceFileContent(const std::string &path, std::string_view content, std::string &error) {
  struct stat old_state {};
  const bool exists = stat(path.c_str(), &old_state) == 0;
  // The rename would replace a file even where its own permissions forbid writing it.
  if (exists && access(path.c_str(), W_OK) != 0) {
    error = Failure("Cannot write", path, errno);
    return false;
  }

  const std::string temporary = TemporaryNameFor(path);
  // A new file is its owner's alone: the files written here hold keys, only obfuscated.
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = Failure("Cannot create", temporary, errno);
    return false;
  }
  int failed_errno = 0;
  const char *failed_step = nullptr;
  if (exists && fchmod(fd, old_state.st_mode & 07777) != 0) {
    failed_errno = errno;
    failed_step = "Cannot set the permissions of";
  } else if (!WriteAll(fd, content)) {
    failed_errno = errno;
    failed_step = "Cannot write";
  } else if (fsync(fd) != 0) {
    failed_errno = errno;
    failed_step = "Cannot flush";
  }
  if (close(fd) != 0 && failed_step == nullptr) {
    failed_errno = errno;
    failed_step = "Cannot close";
  }
  if (failed_step != nullptr) {
    unlink(temporary.c_str());
    error = Failure(failed_step, temporary, failed_errno);
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    error = Failure("Cannot replace", path, errno);
    unlink(temporary.c_str());
    return false;
  }
  SyncFolder(FolderOf(path));
  return true;
}

}  // namespace quillmate
