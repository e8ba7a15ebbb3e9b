// Files in folders that others may write (a shared configuration folder, a log folder on a share):
// a symbolic link put there under the name of a settings file, a lock companion or a log would
// make this program read, create, append to or rewrite whatever the link points at, with the
// operator's rights. These helpers look at the name itself and never follow a link in its last
// component.
#pragma once

#include <sys/types.h>

#include <string>

namespace quillmate {

// What is found under a path, its last component not followed.
enum class PathKind { kMissing, kRegularFile, kSymbolicLink, kOther };

// lstat(2) of `path`: kMissing also when a folder on the way is no folder, kOther when the path
// cannot be examined (no permission on the folder).
PathKind PathKindOf(const std::string &path);

// An opened descriptor, or why there is none.
struct OpenedFile {
  int fd = -1;        // owned by the caller when >= 0
  std::string error;  // "<path>: <reason>" when fd < 0
  bool ok() const { return fd >= 0; }
};

// open(2) of `path` with `flags` (O_CREAT allowed, `mode` then applies), close-on-exec, refusing
// a symbolic link and anything that is not a regular file (a FIFO, a device, a folder). Never
// blocks on a FIFO: the file is opened non-blocking and only a regular file is kept (blocking
// again).
OpenedFile OpenRegularFile(const std::string &path, int flags, mode_t mode = 0600);

}  // namespace quillmate
