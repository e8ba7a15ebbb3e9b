// Serves a SimReader on a pseudo-terminal, so that a host opens the slave side (/dev/pts/N) as it
// would a serial port and talks to the simulated reader through its real serial transport.
//
// The pty is raw (cfmakeraw): no byte is translated or swallowed, 0x0D, 0x0A, 0x11 and 0x13
// included. The server keeps a slave descriptor of its own open for its whole life, so the master
// sees neither EIO nor POLLHUP while no host has the port open, and a host may close and re-open
// the port as often as it likes. One thread polls the master and an eventfd: bytes from the host
// go to the reader, the reader's output goes to the master (non-blocking, queued when the pty is
// full, flushed when the master is writable again).
//
// DropLink() pulls the cable: it closes the master, which a host sees as a hang-up: POLLHUP on its
// descriptor, EIO or end of file on read, and the path /dev/pts/N disappears. The number stays
// taken until the server stops, so that no other pty appears under the lost path meanwhile. The
// reader's DropLink() does the same through the connection's on_gone.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "sim/host_side.h"
#include "sim/link_model.h"
#include "sim/output_queue.h"
#include "sim/reader.h"
#include "sim/wake_event.h"

namespace kovra_sim {

class PtyServer {
 public:
  // Output that the host does not read is kept up to this many bytes; more is dropped, as a
  // reader's buffer would overflow.
  static constexpr size_t kMaxQueuedOutput = 1 << 20;

  // `reader` (the simulated reader, or a module in front of it) must outlive the server.
  explicit PtyServer(HostSide &reader);
  ~PtyServer();  // Stop()
  PtyServer(const PtyServer &) = delete;
  PtyServer &operator=(const PtyServer &) = delete;

  // Opens the pseudo-terminal, connects to the reader and starts serving. False with a text in
  // `error` on failure. Only once.
  bool Start(std::string *error = nullptr);
  // The slave's path, such as /dev/pts/7 (empty before Start). It stays the same after a drop,
  // although the path no longer leads to this server.
  std::string Path() const;

  // The line settings the host set: read from the server's slave descriptor. Nothing before
  // Start and after a drop. A pty clears PARENB (and sets CS8) itself, so `parity` is always
  // false; the other fields are as the host set them.
  std::optional<LineSettings> Line() const;

  // Closes the master: the host sees the link gone. Waits until it is done, unless called on the
  // server's thread. Safe to call more than once.
  void DropLink();
  bool LinkDropped() const { return dropped_.load(); }

  // Ends serving: disconnects from the reader, ends the thread, closes every descriptor.
  void Stop();

 private:
  void Run();
  // Asks the thread to drop the link (any thread; does not wait).
  void RequestDrop();
  // The reader's output: queued and written as far as the pty takes it.
  void OnOutput(const uint8_t *bytes, size_t count);
  // Closes master and own slave; the thread's part of a drop.
  void CloseLink();

  HostSide &reader_;
  std::string path_;
  uint64_t connection_ = 0;
  std::thread thread_;
  WakeEvent wake_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> drop_requested_{false};
  std::atomic<bool> dropped_{false};

  // Guards master_ and slave_ against closing, and out_.
  mutable std::mutex out_mutex_;
  int master_ = -1;
  int slave_ = -1;
  // The slave descriptor after DropLink(): hung up, kept until Stop() so that the pty's number is
  // not handed out again while a host may still open the lost path.
  int held_number_ = -1;
  OutputQueue out_{kMaxQueuedOutput, false};
  bool stopped_ = false;
};

// The baud rate of a termios speed constant (B9600 -> 9600); 0 for one it does not know.
unsigned BaudOfSpeed(unsigned speed);

}  // namespace kovra_sim
