// A network reader: the SimReader served over TCP (tcp_server.h) at an IPv4 address and port,
// with its configuration service on UDP (lan_config_service.h, lan_datagram.h) and its stored
// records (lan_records.h).
//
// It really moves. When an address assignment changes its setup record, or the end-of-
// configuration command finds the setup record changed since the reader last started, the reader
// restarts: its TCP port closes (with the host's connection) and the configuration service drops
// every datagram for the restart time; then it takes the record's settings. A fixed address
// becomes the reader's address: on the interface it owns the reader removes its old address and
// adds the new one itself (netlink.h; root in the network namespace it runs in), and its TCP
// listener opens on the new address and port. A DHCP reader (configured address 0.0.0.0) keeps
// the address it holds, as if its DHCP server gave it the same one again. A new address that
// cannot be taken (the kernel refuses it) leaves the reader at its old one; the error shows in
// Status().
//
// Without an owned interface the reader changes no interface: after a move it listens on the new
// address if this machine holds it, and is not reachable over TCP otherwise.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/lan_config_service.h"
#include "sim/lan_datagram.h"
#include "sim/lan_records.h"
#include "sim/reader.h"
#include "sim/tcp_server.h"

namespace kovra_sim {

struct LanReaderConfig {
  Ipv4 address{};  // the address it holds at start
  // The setup record at start: address 0.0.0.0 for a DHCP reader, else normally `address`.
  LanSettings settings;
  LanIdentity identity;
  std::string product = "KV-LAN Reader";  // record 2's product name
  // The interface it owns; it adds `address` there at start when the interface lacks it. Empty:
  // it owns none (see above).
  std::string interface;
  std::chrono::milliseconds restart_time{1000};
  uint16_t config_port = kLanConfigPort;  // 0: a free port (tests on loopback)
};

// What the reader is doing now.
struct LanStatus {
  Ipv4 address{};      // the address it holds
  uint16_t port = 0;   // its TCP port (0 while restarting or when it could not listen)
  LanSettings record;  // the setup record's settings, as stored now
  LanIdentity identity;
  std::string product;
  std::string interface;  // the interface it serves on; empty: unknown
  bool owns_interface = false;
  bool restarting = false;
  uint64_t restarts = 0;
  bool connected = false;  // a host is connected over TCP
  bool takes_broadcasts = false;
  bool silent = false;  // configuration service faults
  bool flood = false;
  uint64_t datagrams = 0;  // taken by the configuration service
  std::string error;       // the last restart's failure; empty when it went well
};

class LanReader {
 public:
  // `reader` must outlive this object.
  LanReader(SimReader &reader, LanReaderConfig config);
  ~LanReader();  // Stop()
  LanReader(const LanReader &) = delete;
  LanReader &operator=(const LanReader &) = delete;

  // Takes the address on the owned interface when needed, listens and starts the configuration
  // service. False with a text in `error`.
  bool Start(std::string *error = nullptr);
  void Stop();

  LanStatus Status() const;
  uint16_t ConfigPort() const { return service_.Port(); }
  // Waits until a restart has ended and the reader serves again, or the timeout has passed.
  bool WaitUntilServing(std::chrono::milliseconds timeout) const;

  // Faults of the TCP link (tcp_server.h); without effect while restarting.
  void ResetLink();
  void ResetMidReply();
  // Faults of the configuration service (lan_config_service.h).
  void SetServiceSilent(bool silent) { service_.SetSilent(silent); }
  void SetServiceFlood(bool flood) { service_.SetFlood(flood); }

 private:
  Bytes OnDatagram(const uint8_t *data, size_t size);
  void RestartLoop();
  // Takes the new settings' address (moving it on the owned interface); the address it holds
  // afterwards, which is the old one with a text in `error` when the move failed.
  Ipv4 Move(const LanSettings &next, std::string *error);
  bool Listen(const Ipv4 &address, uint16_t port, std::string *error);

  SimReader &reader_;
  const LanReaderConfig config_;
  std::string interface_;  // owned or found
  bool owns_interface_ = false;
  LanConfigService service_;

  mutable std::mutex mutex_;  // everything below but the TCP server
  mutable std::condition_variable changed_;
  LanRecords records_;
  LanSettings running_;  // the settings it started with last
  Ipv4 held_{};          // the address it holds
  uint16_t listening_port_ = 0;
  bool restart_requested_ = false;
  bool restarting_ = false;
  bool stopping_ = false;
  uint64_t restarts_ = 0;
  std::string error_;
  std::thread restart_thread_;

  mutable std::mutex tcp_mutex_;
  std::unique_ptr<TcpServer> tcp_;
};

}  // namespace kovra_sim
