// Serves a SimReader's protocol over TCP, as a network reader does on its reader port (10001 by
// default): bytes from the host go to the reader, the reader's output goes back to the host.
//
// One host at a time, like a reader's single socket. A host that connects while another is
// connected replaces it: the old connection is closed (FIN) and the reader is handed to the new
// one. Chosen over refusing the newcomer because a host that lost its connection without the
// reader noticing (a crash, a pulled cable) must be able to come back at once, which is also what
// a library's reconnect expects.
//
// The connection has TCP_NODELAY, so every reply leaves at once. One thread polls the listening
// socket, the connection and an eventfd; the reader's output is written without blocking and
// queued while the host does not read (output_queue.h).
//
// Faults for the host's tests: DropLink() closes the connection in order (the reader's DropLink()
// does the same through the connection's on_gone), ResetLink() resets it (SO_LINGER 0: the host
// sees ECONNRESET), ResetMidReply() lets the first half of the next reply out and then resets.
// After each of them the server listens on and serves the next connection.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "sim/ipv4.h"
#include "sim/output_queue.h"
#include "sim/reader.h"
#include "sim/wake_event.h"

namespace kovra_sim {

class TcpServer {
 public:
  static constexpr size_t kMaxQueuedOutput = 1 << 20;

  // `reader` must outlive the server.
  explicit TcpServer(SimReader &reader);
  ~TcpServer();  // Stop()
  TcpServer(const TcpServer &) = delete;
  TcpServer &operator=(const TcpServer &) = delete;

  // Listens on `address`:`port` (port 0: a free port the system picks) and starts serving. False
  // with a text in `error` on failure. Only once.
  bool Start(const Ipv4 &address, uint16_t port, std::string *error = nullptr);
  // The port it listens on (0 before Start).
  uint16_t Port() const { return port_; }
  // Whether a host is connected now, and how many connections were accepted so far.
  bool Connected() const;
  uint64_t Accepted() const { return accepted_.load(); }

  // The faults above; each acts on the connection of the moment and returns at once.
  void DropLink();
  void ResetLink();
  void ResetMidReply();

  // Ends serving: the host's connection and the listening socket are closed, the thread ends.
  // Safe to call more than once.
  void Stop();

 private:
  enum class Close { kOrderly, kReset };
  void Run();
  void Accept();
  // Closes the connection of generation `generation` (any: 0) on the server's thread.
  void CloseConnection(Close how);
  void OnOutput(const uint8_t *bytes, size_t count);
  void RequestClose(uint64_t generation, Close how);

  SimReader &reader_;
  uint16_t port_ = 0;
  std::thread thread_;
  int listen_fd_ = -1;
  WakeEvent wake_;
  std::atomic<bool> stopping_{false};
  std::atomic<uint64_t> accepted_{0};
  bool stopped_ = false;
  uint64_t reader_connection_ = 0;  // the reader's number for the current host

  // Guards connection_fd_ against closing, the output queue and the close request.
  mutable std::mutex mutex_;
  int connection_fd_ = -1;
  uint64_t generation_ = 0;  // counts connections; a request names the one it is meant for
  uint64_t close_generation_ = 0;
  Close close_how_ = Close::kOrderly;
  bool cut_next_reply_ = false;
  bool reply_cut_ = false;  // the rest of the cut reply is thrown away
  OutputQueue out_{kMaxQueuedOutput, true};
};

}  // namespace kovra_sim
