// Reply bytes on their way into a non-blocking descriptor (a pty master, a TCP connection): written
// at once as far as the descriptor takes them, the rest kept in order until it is writable again.
// Output the host does not read is kept up to a limit; more is dropped, as a reader's buffer would
// overflow. Not thread-safe: the server that owns it guards it with its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace kovra_sim {

class OutputQueue {
 public:
  // `socket`: written with send(MSG_NOSIGNAL), so that a vanished peer gives an error instead of
  // SIGPIPE; otherwise with write(2).
  OutputQueue(size_t max_bytes, bool socket) : max_bytes_(max_bytes), socket_(socket) {}

  // Queues the bytes (as far as the limit allows) and writes what it can. True when bytes are
  // left waiting for the descriptor to become writable.
  bool Push(int fd, const uint8_t *bytes, size_t count);
  // Writes queued bytes until none are left or the descriptor is full; true when bytes are left.
  bool Flush(int fd);
  bool Empty() const { return bytes_.empty(); }
  void Clear() { bytes_.clear(); }

 private:
  size_t max_bytes_;
  bool socket_;
  std::deque<uint8_t> bytes_;
};

}  // namespace kovra_sim
