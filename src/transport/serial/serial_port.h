// CUSBSerialPort: the serial transport of a reader port, on a Linux tty through termios.
//
// It opens a tty exclusively, configures the line, and runs one port thread per open port. The
// thread sleeps in poll() on the device and on an eventfd that says "a frame is queued" or "shut
// down"; it reads whatever arrives and hands it to the ReceiveSink, and writes the queued frames.
//
// Threads: Open, StartThread, Write and Close are called by the thread that runs the port's
// commands, never concurrently with each other. The sink is called from the port thread only,
// without any lock of this class held. IsOpen, IsRunning and PendingBytes may be called from any
// thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "reader/transport.h"

namespace kovra {

class CUSBSerialPort final : public Transport {
 public:
  // Capacity of the write buffer: a frame that does not fit into what is free is dropped.
  static constexpr size_t kWriteBufferSize = 512;

  // `sink` receives every byte read; it must outlive the transport.
  explicit CUSBSerialPort(ReceiveSink &sink);
  ~CUSBSerialPort() override;
  CUSBSerialPort(const CUSBSerialPort &) = delete;
  CUSBSerialPort &operator=(const CUSBSerialPort &) = delete;

  // Opens the device that `name` leads to (NormaliseSerialName: "COM3", "\\.\COM3", "/dev/..."),
  // exclusively, and sets it to raw 8-bit transfer at `baud` with `parity` ('N', 'E', 'O', and
  // also 'M' mark, 'S' space), `data_bits` (5..8) and `stop_bits` (1 or 2), no flow control, DTR
  // and RTS on; both queues are flushed. True when the device is open. False when it cannot be
  // opened or is no tty, when another holder has it (exclusive use, by TIOCEXCL and an flock on
  // the device), or when the name is an FTDI serial number (no D2XX binding yet). A setting the
  // device refuses does not fail the open: the link then simply does not work, which the version
  // query after the open finds out. Out-of-range arguments (a baud rate of 0 or less, an unknown
  // parity, data or stop bits) are such refused settings. An open port is closed first.
  bool Open(std::string_view name, int baud, char parity, int data_bits, int stop_bits);

  // Starts the port thread of an open port. False when the port is not open, a thread exists
  // already (also one that ended after an unplug, until Close), or it cannot be started.
  bool StartThread();

  // True while the port thread runs: from StartThread until Close, or until the device hangs up
  // or fails (unplugged), when the thread ends and closes the device.
  bool IsRunning() const { return running_.load(); }

  // True when the open name was an FTDI serial number. This transport refuses such names (they
  // go to CD2xxPort, d2xx_port.h), so an open port never reports true.
  bool UsesD2xx() const { return use_d2xx_; }
  bool IsUsbDevice() const override { return use_d2xx_; }

  // Transport: true from a successful Open until Close, also after an unplug. A serial port keeps
  // its handle when its adapter is pulled, as a COM port's handle stays valid until it is closed:
  // its commands then time out, and the application closes it.
  bool IsOpen() const override { return open_.load(); }
  bool LinkUp() const override {
    std::lock_guard<std::mutex> lock(write_lock_);
    return link_up_;
  }

  // Transport: queues one frame for the port thread if it fits into the free part of the write
  // buffer, else drops all of it without notice (the command then times out). Frames are also
  // dropped while no device is open or after an unplug; one queued between Open and StartThread
  // goes out when the thread starts.
  void Write(const uint8_t *bytes, size_t count) override;

  // Transport: stops and joins the port thread, closes the device and frees the write buffer.
  // Safe on a port that was never opened and safe to call twice.
  void Close() override;

  // Bytes queued and not yet accepted by the device (diagnostics and tests).
  size_t PendingBytes() const;

 private:
  void ThreadMain(int fd);
  // Reads everything the device has and hands it to the sink; false when the device is gone.
  bool ReadAvailable(int fd);
  // Writes queued bytes until all are out or the device is full; false when the device is gone.
  // `want_writable` is set when bytes are left over, to be written once poll reports room.
  bool WritePending(int fd, bool &want_writable);
  // The device has gone: drop queued frames and close it. Called by the port thread.
  void DropDevice();
  void SignalThread();

  ReceiveSink &sink_;
  bool use_d2xx_ = false;
  int event_fd_ = -1;  // "frame queued" / "shut down"; owned by the commanding thread
  std::thread thread_;
  std::atomic<bool> open_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_requested_{false};

  // Guards the device descriptor, the write buffer and whether the link is up. The port thread
  // holds it across its non-blocking write() calls and while it closes a vanished device, so a
  // frame is never queued for a descriptor that is being closed.
  mutable std::mutex write_lock_;
  int device_fd_ = -1;
  bool link_up_ = false;
  std::vector<uint8_t> pending_;
};

// The serial transport for a port name (NormaliseSerialName), opened at the line settings of a
// baud argument (LineSettingsFromBaudArgument) with 8 data bits and its port thread started;
// `sink` receives what it reads. Traces "Init and Create... " and then "done" or "Error". Null
// when the device does not open.
std::unique_ptr<Transport> OpenSerialTransport(std::string_view name, int baud_argument,
                                               ReceiveSink &sink);

}  // namespace kovra
