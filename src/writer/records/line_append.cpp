// Numbered lines appended to a file that several stations may append to at the same time.
#include "writer/records/line_append.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "support/file_lock.h"
#include "support/regular_file.h"

namespace quillmate {
namespace {

// What this process knows of a file's lines after its last append there.
struct KnownLines {
  qint64 size = 0;
  timespec modified{};
  qint64 line_ends = 0;         // LFs in the file
  bool open_last_line = false;  // the file ends in a line without its LF
  qint64 Lines() const { return line_ends + (open_last_line ? 1 : 0); }
};

using FileKey = std::pair<dev_t, ino_t>;

// One table for the process: the write and the read log may share a file, and a file may be
// reached under two names.
std::mutex known_mutex;
std::map<FileKey, KnownLines> known_files;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);  // also lets go of the lock
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool LocksUnsupported(int error) {
  return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

bool SameTime(const timespec &a, const timespec &b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Adds the lines of `bytes` to `known`.
void AddLines(const char *bytes, qint64 size, KnownLines &known) {
  if (size <= 0) return;
  known.line_ends += std::count(bytes, bytes + size, '\n');
  known.open_last_line = bytes[size - 1] != '\n';
}

// Adds the lines of the file's bytes [from, to) to `known`, reading in pieces so that a long log
// never sits in memory whole. False when the file could not be read to `to`.
bool CountLines(int fd, qint64 from, qint64 to, KnownLines &known) {
  std::vector<char> buffer(1 << 16);
  for (qint64 at = from; at < to;) {
    const size_t want = static_cast<size_t>(std::min<qint64>(to - at, buffer.size()));
    const ssize_t got = ::pread(fd, buffer.data(), want, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    AddLines(buffer.data(), got, known);
    at += got;
  }
  return true;
}

// The lines of the file as it is now, from what is remembered of it where that still holds.
bool CurrentLines(int fd, const FileKey &key, const struct stat &now, KnownLines &lines) {
  const auto remembered = known_files.find(key);
  if (remembered != known_files.end() && remembered->second.size <= now.st_size) {
    const KnownLines &known = remembered->second;
    if (known.size == now.st_size && SameTime(known.modified, now.st_mtim)) {
      lines = known;
      return true;
    }
    if (known.size < now.st_size) {
      // Grown since: another process appended. Only the new bytes need counting.
      lines = known;
      return CountLines(fd, known.size, now.st_size, lines);
    }
  }
  // New to this process, shortened, or rewritten in place: count it all.
  lines = {};
  return CountLines(fd, 0, now.st_size, lines);
}

// Writes all of `line` at the end of the file; false when any of it could not be written.
bool WriteWhole(int fd, const QByteArray &line) {
  const char *rest = line.constData();
  qint64 left = line.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, rest, static_cast<size_t>(left));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    rest += written;
    left -= written;
  }
  return true;
}

}  // namespace

bool AppendNumberedLine(const QString &file_name, const NumberedLine &line_for) {
  const QByteArray path = QFile::encodeName(file_name);
  // A link in the log's place is refused, not followed (a shared folder must not make the
  // program append to a file another user chose).
  const Descriptor file(OpenRegularFile(path.toStdString(), O_RDWR | O_APPEND | O_CREAT, 0666).fd);
  if (file.get() < 0) return false;
  const int lock_error = LockDescriptorWithin(file.get(), kLineAppendLockTimeoutMs);
  // A shared folder whose server keeps no locks (ENOLCK and kin) still takes the line: without the
  // lock two stations may give out one running number, as before, but the card keeps its record.
  if (lock_error != 0 && !LocksUnsupported(lock_error)) return false;
  struct stat before {};
  if (::fstat(file.get(), &before) != 0 || !S_ISREG(before.st_mode)) return false;

  const std::lock_guard<std::mutex> guard(known_mutex);
  const FileKey key{before.st_dev, before.st_ino};
  KnownLines lines;
  if (!CurrentLines(file.get(), key, before, lines)) {
    known_files.erase(key);
    return false;
  }
  QByteArray line;
  if (lines.open_last_line) line.append('\n');
  line.append(line_for(lines.Lines() + 1));

  // The line counts only once it is on the disk whole; anything less is cut off again, so that
  // the file never ends in a stub that the next line would join.
  struct stat after {};
  if (!WriteWhole(file.get(), line) || ::fdatasync(file.get()) != 0 ||
      ::fstat(file.get(), &after) != 0) {
    known_files.erase(key);
    if (::ftruncate(file.get(), before.st_size) == 0) ::fdatasync(file.get());
    return false;
  }
  if (after.st_size != before.st_size + line.size()) {
    // Someone appended without the lock meanwhile: count afresh next time.
    known_files.erase(key);
    return true;
  }
  AddLines(line.constData(), line.size(), lines);
  lines.size = after.st_size;
  lines.modified = after.st_mtim;
  known_files[key] = lines;
  return true;
}

}  // namespace quillmate
