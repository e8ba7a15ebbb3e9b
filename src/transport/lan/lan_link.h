// CTCPSocketThread: the transport of a network reader, one TCP connection carrying the reader
// protocol (names: lan_name.h).
//
// One worker thread per open port owns the socket. It sleeps in poll() on the socket and on an
// eventfd that says "a frame is queued" or "stop"; it hands every byte received to the
// ReceiveSink and sends the queued frames in order. When the reader closes the connection, or a
// receive or send fails, the connection is dropped and the port stays open: the next frame to
// send connects again (a frame whose reconnect fails is dropped, and its command times out).
//
// Threads: Open, Write and Close are called by the thread that runs the port's commands, never
// concurrently with each other; the sink is called from the worker only, without any lock of this
// class held. IsOpen and Connected may be called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "reader/transport.h"

namespace kovra {

class CTCPSocketThread final : public Transport {
 public:
  // A connection attempt (first connect or reconnect) gives up after this long.
  static constexpr std::chrono::milliseconds kConnectTimeout{3000};
  // A frame the reader does not take within this long is dropped with the connection.
  static constexpr std::chrono::milliseconds kSendTimeout{1000};

  // `sink` receives every byte read; it must outlive the transport.
  explicit CTCPSocketThread(ReceiveSink &sink);
  ~CTCPSocketThread() override;
  CTCPSocketThread(const CTCPSocketThread &) = delete;
  CTCPSocketThread &operator=(const CTCPSocketThread &) = delete;

  // Starts the worker for a LAN port name and waits until its first connect has finished: true
  // when connected. A bracketed identity is resolved first (up to 200 ms per local adapter). The
  // wait is bounded by StartBound(); on false, Failure() says why (a KOVRA_LINK_* code).
  bool Open(const std::string &name);
  int Failure() const { return failure_.load(); }
  // How long Open waits for the worker with `adapter_count` local adapters: the identity search
  // on each adapter, the connect timeout and a second of margin.
  static std::chrono::milliseconds StartBound(size_t adapter_count);

  // Transport: true from a successful Open until Close, also while the connection is down
  // between a drop and the next frame's reconnect.
  bool IsOpen() const override { return open_.load(); }
  // Transport: queues one frame for the worker; never blocks on the network.
  void Write(const uint8_t *bytes, size_t count) override;
  // Transport: stops and joins the worker and closes the connection. Safe to call twice.
  void Close() override;

  // Whether a TCP connection is up right now (tests, diagnostics).
  bool Connected() const { return connected_.load(); }

  // Makes a TCP connection to `address`:`port` from `bind_address` ("" for any) on a local port
  // the system chooses, with TCP_NODELAY, waiting at most `timeout`. A signal on `wake_fd` (-1:
  // none) is consumed, and the wait ends early when `stopped` then answers true. Result: the
  // connected non-blocking socket, or -1 with the errno of the failure in `error` (ETIMEDOUT
  // when the time ran out or the wait was stopped).
  static int ConnectSocket(const std::string &bind_address, const std::string &address,
                           uint16_t port, std::chrono::milliseconds timeout, int wake_fd,
                           const std::function<bool()> &stopped, int &error);

 private:
  enum class Start { kPending, kConnected, kFailed };

  void Run(std::string name);
  void Serve();
  // Connects to the target from the bind address on a port the system chooses, with
  // TCP_NODELAY; gives up after kConnectTimeout or on stop. Sets failure_ when it fails.
  bool Connect();
  void DropConnection();
  void ReadAvailable();
  void SendQueued();
  bool SendFrame(const std::vector<uint8_t> &frame);
  // Waits for `events` on the socket or a signal on the eventfd, at most `timeout`; true when
  // the socket is ready. Reads the eventfd so that it does not stay readable.
  bool WaitSocket(short events, std::chrono::milliseconds timeout);
  void SignalWorker();
  void ReportStart(Start state);

  ReceiveSink &sink_;
  int event_fd_ = -1;
  std::thread worker_;
  std::atomic<bool> open_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
  std::atomic<int> failure_{0};

  std::mutex start_mutex_;
  std::condition_variable started_;
  Start start_ = Start::kPending;

  std::mutex queue_lock_;  // guards queue_ between Write and the worker
  std::deque<std::vector<uint8_t>> queue_;

  // Worker only.
  int socket_fd_ = -1;
  std::string target_address_;
  uint16_t target_port_ = 0;
  std::string bind_address_;
};

// The LAN transport for a port name, opened and connected. Null when it does not open; the
// thread's link failure (link_failure.h) then says why.
std::unique_ptr<Transport> OpenLanTransport(const std::string &name, ReceiveSink &sink);

}  // namespace kovra
