// CD2xxPort: the transport of a reader on an FTDI chip driven through the vendor's D2XX library
// (d2xx_binding.h), opened by the chip's serial number. For readers whose FTDI chip has no tty
// (the kernel's ftdi_sio not bound); with ftdi_sio the same reader is a /dev/ttyUSB* serial port.
//
// A pushed transport: its port thread polls the library every millisecond, as the library's
// serial-port twins offer no descriptor to wait on, and at once when a frame is queued: it writes
// queued frames and hands every byte that arrived to the ReceiveSink. When the library reports the
// device gone (a read, write or status call fails), the thread ends and the port is closed: its
// commands end at once.
//
// Threads: Open, Write and Close come from the thread that runs the port's commands; IsOpen from
// any thread; the sink is called from the port thread without a lock of this class held.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "reader/transport.h"
#include "transport/ftdi/d2xx_binding.h"
#include "transport/serial/serial_name.h"

namespace kovra {

class CD2xxPort final : public Transport {
 public:
  static constexpr size_t kWriteBufferSize = 512;

  CD2xxPort(CFTD2xxPort &binding, ReceiveSink &sink) : binding_(binding), sink_(sink) {}
  ~CD2xxPort() override { Close(); }
  CD2xxPort(const CD2xxPort &) = delete;
  CD2xxPort &operator=(const CD2xxPort &) = delete;

  // Opens the FTDI device with this serial number at the line settings, sets its latency timer
  // to 2 ms, purges both queues and starts the port thread. False when the library or the device
  // is missing or the device does not open. A setting the device refuses does not fail the open
  // (the version query after the open finds out).
  bool Open(std::string_view serial_number, const LineSettings &line);

  bool IsOpen() const override { return open_.load(); }
  // Queues the frame when it fits into the free part of the write buffer, else drops it.
  void Write(const uint8_t *bytes, size_t count) override;
  bool IsUsbDevice() const override { return true; }
  void Close() override;

 private:
  void ThreadMain();
  // One poll: queued bytes out, arrived bytes in. False when the device is gone.
  bool PollOnce();

  CFTD2xxPort &binding_;
  ReceiveSink &sink_;
  d2xx::FT_HANDLE handle_ = nullptr;
  std::thread thread_;
  std::atomic<bool> open_{false};
  std::atomic<bool> stop_{false};
  std::mutex write_lock_;
  std::condition_variable wake_;  // a frame was queued, or the port closes
  std::vector<uint8_t> pending_;
};

// The D2XX transport for an FTDI serial number at the line settings of a baud argument, opened
// and running. Null when it does not open (the link failure says why).
std::unique_ptr<Transport> OpenD2xxTransport(std::string_view serial_number, int baud_argument,
                                             ReceiveSink &sink);

}  // namespace kovra
