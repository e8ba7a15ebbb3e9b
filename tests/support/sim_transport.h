// Plugs the in-process simulated reader (sim/reader.h) into the library's transport seam, so that
// a real CKOVRA_Port talks to it as to a reader on a serial line (pushed) or on HID (polled).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "reader/port.h"
#include "reader/transport.h"
#include "sim/reader.h"

namespace kovra_test {

class SimTransport : public kovra::Transport {
 public:
  enum class Delivery {
    kPushed,  // the reader's output goes straight to the sink, like the serial port thread
    kPolled,  // the output is queued and Read() hands it out, like HID
  };

  // Connects to `reader`. A reader that is destroyed first, or that another SimTransport connects
  // to, counts as unplugged for this one: IsOpen() false, writes lost.
  SimTransport(kovra_sim::SimReader &reader, Delivery delivery);
  ~SimTransport() override;  // Close()

  // Pushed mode: where received bytes go (normally the port that owns this transport). Set it
  // before the first Write.
  void SetSink(kovra::ReceiveSink *sink);

  // --- kovra::Transport ----------------------------------------------------------------------
  bool IsOpen() const override { return open_.load(); }
  // Hands the frame to the reader, unless the link is dropped or closed (then it is lost).
  void Write(const uint8_t *bytes, size_t count) override;
  bool IsPolled() const override { return delivery_ == Delivery::kPolled; }
  // Polled mode: up to `max` queued bytes, never blocking; 0 when nothing waits.
  size_t Read(uint8_t *buffer, size_t max) override;
  bool DrainsBeforeSend() const override { return drains_before_send_.load(); }
  // Disconnects from the reader and drops queued bytes; IsOpen() is false afterwards.
  void Close() override;

  // --- test controls -------------------------------------------------------------------------
  // The link reports itself closed from now on, as a HID or network reader that went away does:
  // its port loses its handle and the registry drops it.
  void SetLinkGone();
  // While dropped, frames written are lost (the reader never sees them) and the link stays open,
  // as a serial line whose adapter was pulled does.
  void SetLinkDropped(bool dropped);
  void SetDrainsBeforeSend(bool drains) { drains_before_send_.store(drains); }
  size_t WriteCount() const { return write_count_.load(); }  // frames passed to Write
  size_t QueuedBytes() const;                                // polled mode: not yet read

 private:
  void OnOutput(const uint8_t *bytes, size_t count);
  void OnReaderGone();

  const Delivery delivery_;
  std::atomic<bool> open_{true};
  std::atomic<bool> link_dropped_{false};
  std::atomic<bool> drains_before_send_{false};
  std::atomic<size_t> write_count_{0};

  mutable std::mutex reader_mutex_;  // guards reader_
  kovra_sim::SimReader *reader_;     // null once closed or once the reader is gone
  uint64_t connection_ = 0;          // the reader's number for this connection
  // Atomic rather than under reader_mutex_: the output runs inside Write, which holds that lock.
  std::atomic<kovra::ReceiveSink *> sink_{nullptr};

  mutable std::mutex queue_mutex_;  // polled mode
  std::deque<uint8_t> queue_;
};

struct SimPortOptions {
  SimTransport::Delivery delivery = SimTransport::Delivery::kPushed;
  std::optional<int> address;  // the port's bus address; default: the reader's
  unsigned timeout_ms = kovra::CKOVRA_Port::kDefaultTimeoutMs;
  // The port takes its handle from the serial pool (1, 2, ...), as an opened serial port does;
  // otherwise from a pool of simulator handles (30001, 30002, ...), far above the serial, HID and
  // LAN ranges so that they never meet a handle the library hands out itself.
  bool serial_handle = false;
  bool drains_before_send = false;
  // Adds the port to CKOVRA_SDKApp::Instance(), so that the C API finds it by its handle.
  bool add_to_app = false;
};

// A port with a SimTransport on `reader`, set to `family` and the options' address and timeout.
std::shared_ptr<kovra::CKOVRA_Port> MakeSimPort(kovra_sim::SimReader &reader, int family,
                                                const SimPortOptions &options = {});

// The SimTransport below a port made by MakeSimPort; null for any other port.
SimTransport *SimTransportOf(const kovra::CKOVRA_Port &port);

// Takes the port off CKOVRA_SDKApp::Instance() (if it is there) and closes its transport.
void RemoveSimPort(const std::shared_ptr<kovra::CKOVRA_Port> &port);

}  // namespace kovra_test
