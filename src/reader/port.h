// CKOVRA_Port: one open reader port. It owns the link below it (a Transport), its handle number,
// the send and receive buffers, the per-port state and the session record of the card in the
// field, and runs the transceive step: frame the command, send it, wait until a complete reply
// lies in the receive buffer, check and parse it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "reader/byte_array.h"
#include "reader/card_session.h"
#include "reader/command_gate.h"
#include "reader/transport.h"

namespace kovra {

class HandlePool;

class CKOVRA_Port : public ReceiveSink {
 public:
  static constexpr unsigned kDefaultTimeoutMs = 500;
  // What the receive buffer keeps while a command waits for its reply. A plain reply is at most
  // 260 bytes; a block chain has no length of its own, and no reply this library asks for comes
  // near this. Beyond it the buffer is thrown away (a trace line says so) and the wait goes on
  // with what follows, so a peer that streams costs a bounded amount of memory.
  static constexpr size_t kMaxReplyBytes = 64 * 1024;
  // What the receive buffer keeps while no command waits: one plain reply frame, enough for a
  // late reply to stay visible until the next command. More is dropped with a trace line.
  static constexpr size_t kMaxIdleBytes = 260;  // header, 255 data bytes, trailer

  CKOVRA_Port();
  virtual ~CKOVRA_Port();
  CKOVRA_Port(const CKOVRA_Port &) = delete;
  CKOVRA_Port &operator=(const CKOVRA_Port &) = delete;

  // --- the link and the handle --------------------------------------------------------------
  // Takes over a transport that has been opened and names the port by the smallest free number
  // of `handles` (HandlePool::Serial() for serial links, Hid(), Lan()), which the port holds
  // until CloseTransport. A transport attached before is closed first. The pool must outlive the
  // port's handle (the library's pools live until the process ends).
  void AttachTransport(std::unique_ptr<Transport> transport, HandlePool &handles);
  Transport *GetTransport() const { return transport_.get(); }
  // The port's handle while its link is open; 0 before a transport is attached, after
  // CloseTransport, and once the transport reports its link no longer open. Any thread.
  int Handle() const;
  // Closes the transport and gives the handle number back to its pool. Safe to call more than
  // once.
  void CloseTransport();
  // False once the device below the port went away (Transport::LinkUp), or without a transport.
  bool LinkUp() const { return transport_ != nullptr && transport_->LinkUp(); }

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

  // --- the session of the card in the field ------------------------------------------------
  // The record a layer above the reader keeps about the card (see CardSession); null until that
  // layer sets one. The port owns it and destroys it with itself.
  CardSession *GetCardSession() const { return card_session_.get(); }
  // Replaces the record (the one before is destroyed).
  void SetCardSession(std::unique_ptr<CardSession> session);
  // A card was activated anew in the field: passes this on to the record, if there is one (a
  // port without a record has no card state to forget).
  void OnCardActivated();

  // --- commands ---------------------------------------------------------------------------
  // One command exchange at a time per port: Command holds the command lock from building the
  // frame to parsing the reply, so threads that share a handle never take each other's replies.
  // A thread that finds the lock taken waits until the other exchange ends (bounded by its
  // timeout) and calls the wait handler meanwhile as during a reply wait. The lock is recursive:
  // a command sent from the wait handler on the thread that already runs one goes ahead nested
  // rather than wait for itself. Callers that use SendBuffer, Transceive and ParseReply one by
  // one hold CommandLock meanwhile.
  CommandGate &CommandLock() { return command_lock_; }
  CMyByteArray &SendBuffer() { return send_buffer_; }

  // Frames the send buffer, empties it, sends the frame and waits for a complete reply. Resets
  // the last error to KOVRA_ERR_NONE first; on failure leaves KOVRA_ERR_NO_DATA (nothing to
  // send), KOVRA_ERR_WRONG_PARAMETER (too much data) or KOVRA_ERR_TIMEOUT. Bytes of a late reply
  // stay in the receive buffer until the next step.
  bool Transceive();
  // Moves the whole receive buffer out, checks the frame and leaves only its data in `data`.
  bool ParseReply(CMyByteArray &data);
  // Clears the send buffer, builds code + data, transceives and parses into `reply`, holding the
  // command lock throughout. A link with commands of its own (Transport::Commands, a PC/SC reader)
  // runs the command instead, bounded by the port's timeout and calling the wait handler as a
  // reply wait does.
  bool Command(uint8_t code, const uint8_t *data, size_t count, CMyByteArray &reply);
  bool Command(uint8_t code, const CMyByteArray &data, CMyByteArray &reply) {
    return Command(code, data.GetData(), data.GetSize(), reply);
  }

  // ReceiveSink: a pushed transport appends what it received; wakes the waiting command. The
  // buffer keeps at most kMaxReplyBytes while a command waits and kMaxIdleBytes otherwise; the
  // rest is dropped and counted, and the first drop of each stretch writes a trace line.
  void OnBytesReceived(const uint8_t *bytes, size_t count) override;
  // A copy of what the receive buffer holds (tests, diagnostics).
  CMyByteArray ReceivedBytes() const;
  // How many received bytes were dropped over the buffer's caps since the port was made.
  uint64_t DroppedBytes() const;

 private:
  bool WaitForReply();
  bool RunOnCommandLink(CommandLink &link, uint8_t code, const uint8_t *data, size_t count,
                        CMyByteArray &reply);
  // Drops bytes before the start byte and tells whether a complete reply is there. Called
  // under the receive lock.
  bool ReplyCompleteLocked(bool &header_seen);
  void PollTransport();

  std::unique_ptr<Transport> transport_;
  // The handle number and the pool it came from; atomic because lookups on other threads read
  // it while a close gives it back.
  std::atomic<int> handle_{0};
  HandlePool *handle_pool_ = nullptr;

  // Takes the command lock; see CommandLock.
  void LockCommand();

  CommandGate command_lock_;
  CMyByteArray send_buffer_;
  CMyByteArray receive_buffer_;
  mutable std::mutex receive_lock_;
  std::condition_variable received_;
  uint64_t received_generation_ = 0;  // counts appends, so a waiter can tell it was woken by data
  // Guarded by receive_lock_: whether a command waits for its reply (the larger cap applies),
  // the bytes dropped over the caps, and whether the current stretch has already been traced.
  bool awaiting_reply_ = false;
  uint64_t dropped_bytes_ = 0;
  bool drop_traced_ = false;

  unsigned timeout_ms_ = kDefaultTimeoutMs;
  int family_ = 0;
  int bus_address_ = 1;
  int device_type_ = 0;
  uint8_t firmware_revision_ = 0;
  std::atomic<int> last_error_{0};
  std::atomic<bool> background_mode_{false};
  uint8_t echo_byte_ = 0;
  std::unique_ptr<CardSession> card_session_;
};

}  // namespace kovra
