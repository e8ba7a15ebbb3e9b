// A network reader's configuration service: a UDP socket on the configuration port (30718) that
// takes requests sent to the reader's address or as broadcasts, hands each datagram to its reader
// (the handler; lan_datagram.h makes the answer) and sends the answer back to the sender's
// address and port, from the reader's address.
//
// The socket is bound to INADDR_ANY on the reader's interface (SO_BINDTODEVICE), so that it takes
// limited (255.255.255.255) and directed broadcasts and keeps working when the reader moves to
// another address on that interface; datagrams to another unicast address of the interface are
// ignored. Without the privilege for SO_BINDTODEVICE (or without an interface) it binds to the
// reader's address instead, and then takes no broadcasts; a note goes to stderr. Bound to the
// device, it sees only what arrives through that interface: a host in the reader's own network
// namespace reaches it by broadcast, its unicast goes through loopback and is not seen. Hosts
// belong in another namespace, behind the interface's veth peer.
//
// Faults: silent (nothing is answered), flood (besides the answers, a setup-record answer goes to
// the last sender every kFloodInterval for as long as the fault lasts: a reader that answers a
// search forever). While the reader restarts (SetPaused) every datagram is dropped.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "sim/lan_datagram.h"
#include "sim/lan_records.h"
#include "sim/wake_event.h"

namespace kovra_sim {

class LanConfigService {
 public:
  static constexpr std::chrono::milliseconds kFloodInterval{5};
  // The answer to one datagram; empty: none. Runs on the service's thread.
  using Handler = std::function<Bytes(const uint8_t *data, size_t size)>;

  struct Options {
    std::string interface;           // the reader's interface; empty: bind to `address`
    Ipv4 address{};                  // the reader's address now
    uint8_t host_bits = 8;           // of its subnet, for directed broadcasts
    uint16_t port = kLanConfigPort;  // 0: a free port the system picks (tests)
  };

  explicit LanConfigService(Handler handler);
  ~LanConfigService();  // Stop()
  LanConfigService(const LanConfigService &) = delete;
  LanConfigService &operator=(const LanConfigService &) = delete;

  // Opens the socket and starts the thread; false with a text in `error`. Only once.
  bool Start(const Options &options, std::string *error = nullptr);
  uint16_t Port() const { return port_; }
  // The reader took another address (a restart).
  void SetAddress(const Ipv4 &address, uint8_t host_bits);
  void SetPaused(bool paused) { paused_.store(paused); }
  void SetSilent(bool silent) { silent_.store(silent); }
  void SetFlood(bool flood);
  bool Silent() const { return silent_.load(); }
  bool Flooding() const { return flood_.load(); }
  // Datagrams taken (not dropped by a pause, the silent fault or the address filter), answers sent.
  uint64_t Taken() const { return taken_.load(); }
  uint64_t Answered() const { return answered_.load(); }
  // False when the socket is bound to the reader's address (no broadcasts).
  bool TakesBroadcasts() const { return on_device_; }
  void Stop();

 private:
  void Run();
  // Takes one datagram from the socket and answers it.
  void ReceiveOne();
  void SendTo(const Bytes &datagram, const sockaddr_in &to);
  bool ForThisReader(const Ipv4 &destination) const;

  Handler handler_;
  int fd_ = -1;
  WakeEvent wake_;
  uint16_t port_ = 0;
  bool on_device_ = false;
  bool stopped_ = false;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> silent_{false};
  std::atomic<bool> flood_{false};
  std::atomic<uint64_t> taken_{0};
  std::atomic<uint64_t> answered_{0};

  mutable std::mutex mutex_;  // the address, the last sender
  Ipv4 address_{};
  uint8_t host_bits_ = 8;
  std::optional<sockaddr_in> last_sender_;
};

}  // namespace kovra_sim
