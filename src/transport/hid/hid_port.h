// CHidPort: the transport of a reader port on one of our HID readers, through hidapi.
//
// A polled transport: it has no thread; the port's waiting loop calls Read, which never blocks.
// Frames go out in output reports (hid_report.h); input reports are turned back into the byte
// stream, and bytes that do not fit the caller's buffer wait for its next Read.
//
// Threads: the port calls every operation on the thread that runs its commands; IsOpen may be
// called from any thread. A lock keeps a Close from another thread (the port registry's cleanup)
// off a device that a command is using.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "reader/transport.h"
#include "transport/hid/hid_report.h"
#include "transport/hid/hidapi_binding.h"

namespace kovra {

class CHidPort final : public Transport {
 public:
  // `api` must outlive the port (the process binding does).
  explicit CHidPort(HidApi &api) : api_(api), input_(HidReportLayout{}) {}
  ~CHidPort() override { Close(); }
  CHidPort(const CHidPort &) = delete;
  CHidPort &operator=(const CHidPort &) = delete;

  // Opens the first of our HID readers whose name (HidReaderName) equals `name` ignoring letter
  // case, and reads its report lengths. False when HID is not available, no such reader is
  // present, it does not open, or its reports are too short or too long. An open port is closed
  // first.
  bool Open(std::string_view name);

  // Sends the control report with `value` (0 starts the reader's link after opening, 1 stops it
  // before closing). False when the port is not open or the report was not written.
  bool SendControl(uint8_t value);

  const std::string &Name() const { return name_; }
  const HidReportLayout &Layout() const { return layout_; }

  // Transport: true from a successful Open until Close, or until a read fails because the reader
  // went away (the port is then closed, and its commands end at once).
  bool IsOpen() const override { return open_.load(); }

  // Transport: sends the frame in as many output reports as it needs; stops at the first report
  // hidapi does not take (the missing reply then shows as the command's timeout).
  void Write(const uint8_t *bytes, size_t count) override;

  bool IsPolled() const override { return true; }
  // Transport: moves up to `max` received bytes into `buffer` without waiting: first bytes left
  // from earlier reports, then the payload of each input report that is already there. A read
  // error (the reader unplugged) closes the port. Returns the number of bytes moved.
  size_t Read(uint8_t *buffer, size_t max) override;

  bool DrainsBeforeSend() const override { return true; }
  bool IsUsbDevice() const override { return true; }

  // Transport: sends the stop control report (value 1) to an open reader and closes the device.
  // Safe to call twice.
  void Close() override;

 private:
  bool WriteReportLocked(const std::vector<uint8_t> &report);
  void CloseDeviceLocked();

  HidApi &api_;
  std::mutex mutex_;  // guards device_, layout_, input_ and name_
  hid_device *device_ = nullptr;
  std::string name_;
  HidReportLayout layout_;
  HidInputQueue input_;
  std::atomic<bool> open_{false};
};

// The HID transport for a reader name, opened and started (control report 0). `refused_start` is
// set when the reader opened but did not take the start report; the result is then null. Null
// also when no such reader opens.
std::unique_ptr<Transport> OpenHidTransport(std::string_view name, bool &refused_start);

}  // namespace kovra
