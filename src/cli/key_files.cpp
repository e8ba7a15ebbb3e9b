// Keys read from files or standard input, so that no key has to show on the command line.
#include "cli/key_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "cli/cli_output.h"
#include "writer/job/key_plan.h"

namespace quillmate::cli {
namespace {

// A key file holds 32 digits and a line end; anything much longer is another file, and reading
// stops there so that a device or a huge file named by mistake costs no time.
constexpr size_t kMaxKeyFileBytes = 256;
constexpr qsizetype kKeyDigits = 32;

// Reads `fd` to its end, at most kMaxKeyFileBytes + 1 bytes. False with errno on a read error.
bool ReadBounded(int fd, std::string &text) {
  char buffer[kMaxKeyFileBytes + 1];
  size_t total = 0;
  while (total < sizeof buffer) {
    const ssize_t n = read(fd, buffer + total, sizeof buffer - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  text.assign(buffer, total);
  std::memset(buffer, 0, sizeof buffer);
  return true;
}

}  // namespace

bool KeyFileReader::Read(const QString &path, const QString &source, QString &key) {
  if (path.isEmpty()) {
    Error(source + ": no file named");
    return false;
  }
  const bool standard_input = path == kStandardInputName;
  if (standard_input && standard_input_read_) {
    Error(source + ": standard input gives one key only");
    return false;
  }
  const int fd =
      standard_input ? STDIN_FILENO : open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Error(QString("%1: cannot be read: %2")
              .arg(source, QString::fromLocal8Bit(std::strerror(errno))));
    return false;
  }
  std::string text;
  const bool read_ok = ReadBounded(fd, text);
  const int read_errno = errno;
  if (standard_input) {
    standard_input_read_ = true;
  } else {
    close(fd);
  }
  if (!read_ok) {
    Error(QString("%1: cannot be read: %2")
              .arg(source, QString::fromLocal8Bit(std::strerror(read_errno))));
    return false;
  }
  if (!text.empty() && text.back() == '\n') {
    text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
  }
  const QString digits = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  std::fill(text.begin(), text.end(), '\0');
  if (digits.size() != kKeyDigits || !IsHexText(digits)) {
    Error(source + ": not a key; a key file holds exactly 32 hex digits (and a line end)");
    return false;
  }
  key = digits;
  return true;
}

}  // namespace quillmate::cli
