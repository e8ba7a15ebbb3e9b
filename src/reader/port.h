// CKOVRA_Port: one open reader port. It owns the link below it (a Transport), the send and
// receive buffers and the per-port state, and runs the transceive step: frame the command, send
// it, wait until a complete reply lies in the receive buffer, check and parse it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "reader/byte_array.h"
#include "reader/transport.h"

namespace kovra::desfire {
class CDatenFuerDesfireInPort;
}

namespace kovra {

class CKOVRA_Port : public ReceiveSink {
 public:
  static constexpr unsigned kDefaultTimeoutMs = 500;

  CKOVRA_Port();
  virtual ~CKOVRA_Port();
  CKOVRA_Port(const CKOVRA_Port &) = delete;
  CKOVRA_Port &operator=(const CKOVRA_Port &) = delete;

  // --- the link ---------------------------------------------------------------------------
  // Takes over a transport that has been opened. A serial transport also takes a COM handle
  // (SetComHandle), which then names the port.
  void AttachTransport(std::unique_ptr<Transport> transport);
  Transport *GetTransport() const { return transport_.get(); }
  void SetComHandle(int handle) { com_handle_ = handle; }
  int ComHandle() const { return com_handle_; }
  // The port's handle: its COM handle, else the transport's handle; 0 when it has no live link.
  int Handle() const;
  // Closes the transport and gives the COM handle number back. Safe to call more than once.
  void CloseTransport();

  // --- per-port state ---------------------------------------------------------------------
  unsigned Timeout() const { return timeout_ms_; }
  void SetTimeout(unsigned ms) { timeout_ms_ = ms; }
  int Family() const { return family_; }
  void SetFamily(int family) { family_ = family; }
  int BusAddress() const { return bus_address_; }
  void SetBusAddress(int address) { bus_address_ = address; }
  int DeviceType() const { return device_type_; }
  void SetDeviceType(int code) { device_type_ = code; }
  uint8_t FirmwareRevision() const { return firmware_revision_; }
  void SetFirmwareRevision(uint8_t revision) { firmware_revision_ = revision; }
  int LastError() const { return last_error_.load(); }
  void SetLastError(int code) { last_error_.store(code); }
  bool BackgroundMode() const { return background_mode_.load(); }
  void SetBackgroundMode(bool on) { background_mode_.store(on); }
  uint8_t EchoByte() const { return echo_byte_; }

  // --- the DESFire session of the card in the field ---------------------------------------
  // The session record, created on first use; destroyed with the port.
  desfire::CDatenFuerDesfireInPort &DesfireSession();
  bool HasDesfireSession() const { return desfire_session_ != nullptr; }

  // --- commands ---------------------------------------------------------------------------
  CMyByteArray &SendBuffer() { return send_buffer_; }

  // Frames the send buffer, empties it, sends the frame and waits for a complete reply. Resets
  // the last error to 0 first; on failure leaves 8 (nothing to send), 7 (too much data) or
  // 4 (timeout). Bytes of a late reply stay in the receive buffer until the next step.
  bool Transceive();
  // Moves the whole receive buffer out, checks the frame and leaves only its data in `data`.
  bool ParseReply(CMyByteArray &data);
  // Clears the send buffer, builds code + data, transceives and parses into `reply`.
  bool Command(uint8_t code, const uint8_t *data, size_t count, CMyByteArray &reply);
  bool Command(uint8_t code, const CMyByteArray &data, CMyByteArray &reply) {
    return Command(code, data.GetData(), data.GetSize(), reply);
  }

  // ReceiveSink: a pushed transport appends what it received; wakes the waiting command.
  void OnBytesReceived(const uint8_t *bytes, size_t count) override;
  // A copy of what the receive buffer holds (tests, diagnostics).
  CMyByteArray ReceivedBytes() const;

 private:
  bool WaitForReply();
  // Drops bytes before the start byte and tells whether a complete reply is there. Called
  // under the receive lock.
  bool ReplyCompleteLocked(bool &header_seen);
  void PollTransport();

  std::unique_ptr<Transport> transport_;
  int com_handle_ = 0;

  CMyByteArray send_buffer_;
  CMyByteArray receive_buffer_;
  mutable std::mutex receive_lock_;
  std::condition_variable received_;
  uint64_t received_generation_ = 0;  // counts appends, so a waiter can tell it was woken by data

  unsigned timeout_ms_ = kDefaultTimeoutMs;
  int family_ = 0;
  int bus_address_ = 1;
  int device_type_ = 0;
  uint8_t firmware_revision_ = 0;
  std::atomic<int> last_error_{0};
  std::atomic<bool> background_mode_{false};
  uint8_t echo_byte_ = 0;
  std::unique_ptr<desfire::CDatenFuerDesfireInPort> desfire_session_;
};

}  // namespace kovra
