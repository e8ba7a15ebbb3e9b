// A network reader for tests, inside a namespace of a LanLab: the configuration service on UDP
// port 30718 (search, identify, records, address assignments, end of configuration) and the
// reader protocol on a TCP port, answered by an in-process simulated reader (sim/reader.h). An
// address assignment really moves the reader to its new address. Faults on demand: silence, a
// reader that never stops answering a search, junk datagrams before each reply, a connection
// reset in the middle of a reply.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/reader.h"
#include "support/lan_lab.h"

namespace kovra_test {

struct LanReaderSetup {
  std::array<uint8_t, 4> configured{};  // the setup record's address; 0.0.0.0: DHCP
  int host_bits = 8;
  std::array<uint8_t, 4> gateway{};
  uint16_t tcp_port = 10001;
  std::string name = "READER";  // device name, up to 16 characters
  std::string product = "KV-LAN 10";
  bool extended = true;  // answers identify with "ULO": takes the extended assignment
  std::array<uint8_t, 6> identifier = {0x00, 0x20, 0x4A, 0x11, 0x22, 0x33};
};

class LanTestReader {
 public:
  // Starts the reader in `ns`, whose interface eth0 holds `address`. Check Running().
  LanTestReader(NetNamespace &ns, std::string address, LanReaderSetup setup,
                kovra_sim::SimReaderConfig reader = {});
  ~LanTestReader();
  LanTestReader(const LanTestReader &) = delete;
  LanTestReader &operator=(const LanTestReader &) = delete;

  bool Running() const { return running_; }
  kovra_sim::SimReader &Sim() { return sim_; }

  // --- what the reader holds now --------------------------------------------------------------
  std::string Address();               // where it answers now
  std::vector<uint8_t> Record(int n);  // the record's bytes
  int EndCommands() const { return end_commands_.load(); }
  int Assignments() const { return assignments_.load(); }
  std::vector<uint16_t> PeerPorts();  // local ports the host connected from, in order
  int Connections() const { return connections_.load(); }

  // --- faults -----------------------------------------------------------------------------
  void SetConfigSilent(bool silent) { config_silent_.store(silent); }
  // After a search request, keeps sending its search reply every 50 ms.
  void SetChatty(bool chatty) { chatty_.store(chatty); }
  // Sends a datagram of 2 bytes and one with an unknown code before each reply.
  void SetJunkFirst(bool junk) { junk_first_.store(junk); }
  // 100 ms after each search request sends a write acknowledgement (FB) nobody asked it for.
  void SetStrayAcks(bool stray) { stray_acks_.store(stray); }
  // Leaves identify requests unanswered (records are still answered).
  void SetIdentifySilent(bool silent) { identify_silent_.store(silent); }
  // Answers a search with `count` records of DHCP readers of its own address (identities R000,
  // R001, ...) and nothing else: a device that is no reader of the maker's. 0: a reader again.
  void SetSearchFlood(int count) { search_flood_.store(count); }
  // The next reply is cut off after its first byte by a connection reset.
  void ResetInNextReply() { reset_armed_.store(true); }
  // Ends the current TCP connection from the reader's side (an orderly close).
  void CloseConnection();
  // Its interface goes down for `ms` milliseconds, as a reader that restarts (returns at once).
  void Restart(int ms);
  // Waits until the interface of a Restart is up again.
  void WaitRestarted() {
    if (restart_thread_.joinable()) restart_thread_.join();
  }

 private:
  void ServeConfig();
  void ServeTcp();
  void Answer(const std::vector<uint8_t> &datagram, const sockaddr_in &from);
  void Reply(const sockaddr_in &to, uint8_t code, const std::vector<uint8_t> &payload);
  void AssignAddress(const std::vector<uint8_t> &payload, bool extended);
  void MoveTo(const std::array<uint8_t, 4> &address);
  void OnOutput(const uint8_t *bytes, size_t count);

  NetNamespace &ns_;
  LanReaderSetup setup_;
  kovra_sim::SimReader sim_;
  bool running_ = false;
  int udp_fd_ = -1;
  int listen_fd_ = -1;
  int stop_fd_ = -1;
  std::thread config_thread_;
  std::thread tcp_thread_;
  std::thread restart_thread_;

  std::mutex mutex_;  // guards the records, the address, the connection and the peer ports
  std::vector<std::vector<uint8_t>> records_;
  std::string address_;
  int connection_fd_ = -1;
  std::vector<uint16_t> peer_ports_;

  std::atomic<bool> config_silent_{false};
  std::atomic<bool> chatty_{false};
  std::atomic<bool> junk_first_{false};
  std::atomic<bool> reset_armed_{false};
  std::atomic<bool> stray_acks_{false};
  std::atomic<bool> identify_silent_{false};
  std::atomic<int> search_flood_{0};
  std::atomic<bool> stop_{false};
  std::atomic<int> end_commands_{0};
  std::atomic<int> assignments_{0};
  std::atomic<int> connections_{0};
};

}  // namespace kovra_test
