// A Bluetooth module in front of the simulated reader: what a host reaches through the module's
// USB bridge or serial line. It speaks the module's packet protocol
//   02, type ('R' request, 'C' confirmation, 'i' indication), opcode, length (2, little-endian),
//   check (sum of the four bytes before it), payload, 03
// and carries the reader's frames in data packets once a Bluetooth link to the reader is up:
//   0x26            -> indication 0x25 (no payload: a bare 7-byte packet)
//   0x00 inquiry    -> indications 0x01 (a foreign device, then the reader, each with its class
//                      of device), confirmation 0x00 when the inquiry ends
//   0x02 name       -> confirmation 0x02: status, address, name length, name
//   0x0A connect    -> confirmation 0x0A (status 0), the link indication 0x0B a little later
//   0x0F data       -> to the reader; its replies come back as indications 0x10
//   0x0D disconnect -> indication 0x51, and the release indication 0x0E
// Data sent before the link indication is dropped, as real modules do. Requests with a wrong
// check byte, a wrong end byte or a length beyond 1000 are skipped from their start byte on.
//
// Faults: a module that never answers a disconnect; stray bytes before the next packet.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "sim/host_side.h"
#include "sim/reader.h"

namespace kovra_sim {

struct BtModuleConfig {
  std::array<uint8_t, 6> reader_address = {0x41, 0x31, 0x07, 0xDC, 0x1B, 0x00};
  // Peripheral (major class 5) with a service bit set: a plain 24-bit comparison with 0x000500
  // would miss it.
  uint32_t reader_class = 0x200500;
  std::string reader_name = "ULO-PN7341 Reader";
  // The class of device of the device an inquiry finds before the reader (an audio device). It
  // refuses every connect: it offers no serial port service.
  uint32_t foreign_class = 0x240404;
  std::chrono::milliseconds link_delay{40};
};

class BtModule : public HostSide {
 public:
  static constexpr size_t kMaxPayload = 1000 - 7;

  // `reader` must outlive the module.
  explicit BtModule(SimReader &reader, BtModuleConfig config = {});
  ~BtModule() override;
  BtModule(const BtModule &) = delete;
  BtModule &operator=(const BtModule &) = delete;

  uint64_t Connect(OutputFn output, std::function<void()> on_gone = {}) override;
  void Disconnect(uint64_t connection) override;
  void Receive(const uint8_t *bytes, size_t count) override;
  void SetLineSettings(std::optional<LineSettings> line) override { (void)line; }

  // Faults.
  void SetSilentOnDisconnect(bool silent) { silent_on_disconnect_.store(silent); }
  // Sends `bytes` to the host before the next packet.
  void InjectStray(const Bytes &bytes);

  bool LinkUp() const { return link_up_.load(); }
  // Data packets that came before the link was up (and were dropped).
  size_t DroppedBeforeLink() const { return dropped_before_link_.load(); }

 private:
  void TakeRequests();
  void OnRequest(uint8_t opcode, const Bytes &payload);
  void Send(uint8_t type, uint8_t opcode, const Bytes &payload);
  void SendToHost(const Bytes &bytes);
  void OnReaderOutput(const uint8_t *bytes, size_t count);

  SimReader &reader_;
  BtModuleConfig config_;
  uint64_t reader_connection_ = 0;

  std::mutex host_mutex_;  // the host's output and the stray bytes
  OutputFn host_output_;
  uint64_t host_connection_ = 0;
  Bytes stray_;

  Bytes input_;  // request bytes not yet taken (Receive's thread only)
  std::atomic<bool> link_up_{false};
  std::atomic<bool> silent_on_disconnect_{false};
  std::atomic<size_t> dropped_before_link_{0};

  std::mutex link_mutex_;
  std::condition_variable link_changed_;
  bool stopping_ = false;
  bool link_pending_ = false;
  std::thread link_thread_;
};

}  // namespace kovra_sim
