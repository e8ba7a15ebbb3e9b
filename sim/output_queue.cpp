// Reply bytes on their way into a non-blocking descriptor (a pty master, a TCP connection).
#include "sim/output_queue.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kovra_sim {
namespace {

constexpr size_t kWriteChunk = 4096;

}  // namespace

bool OutputQueue::Push(int fd, const uint8_t *bytes, size_t count) {
  const size_t room = max_bytes_ - std::min(bytes_.size(), max_bytes_);
  bytes_.insert(bytes_.end(), bytes, bytes + std::min(count, room));
  return Flush(fd);
}

bool OutputQueue::Flush(int fd) {
  uint8_t chunk[kWriteChunk];
  while (!bytes_.empty() && fd >= 0) {
    const size_t n = std::min(bytes_.size(), sizeof(chunk));
    std::copy(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n), chunk);
    const ssize_t written = socket_ ? ::send(fd, chunk, n, MSG_NOSIGNAL) : ::write(fd, chunk, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;  // full (EAGAIN) or gone: the owner retries when it is writable
    bytes_.erase(bytes_.begin(), bytes_.begin() + written);
  }
  return !bytes_.empty();
}

}  // namespace kovra_sim
