// CHidPort: the transport of a reader port on one of our HID readers, through hidapi.
#include "transport/hid/hid_port.h"

#include <algorithm>

#include "kovra.h"
#include "transport/hid/hid_devices.h"
#include "transport/link_failure.h"

namespace kovra {
namespace {

// Reports taken in one Read at most, so a reader that floods reports without payload cannot hold
// the waiting loop.
constexpr int kMaxReportsPerRead = 16;

}  // namespace

bool CHidPort::Open(std::string_view name) {
  Close();
  if (!api_.Available()) {
    SetLinkFailure(KOVRA_LINK_NOT_SUPPORTED);
    return false;
  }
  for (const HidReaderInfo &reader : EnumerateHidReaders(api_)) {
    if (!SameReaderName(reader.name, name)) continue;
    hid_device *device = api_.open_path(reader.path.c_str());
    if (device == nullptr) {
      // hidraw nodes the udev rules did not open up to this user fail here.
      SetLinkFailure(KOVRA_LINK_NO_PERMISSION);
      return false;
    }
    const HidReportLayout layout = HidLayoutOf(api_, reader.path, device);
    if (!IsSupportedLayout(layout)) {
      api_.close(device);
      SetLinkFailure(KOVRA_LINK_OTHER);
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    device_ = device;
    name_ = reader.name;
    layout_ = layout;
    input_ = HidInputQueue(layout);
    open_.store(true);
    return true;
  }
  SetLinkFailure(KOVRA_LINK_NO_DEVICE);
  return false;
}

bool CHidPort::WriteReportLocked(const std::vector<uint8_t> &report) {
  if (device_ == nullptr) return false;
  return api_.write(device_, report.data(), report.size()) == static_cast<int>(report.size());
}

bool CHidPort::SendControl(uint8_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (device_ == nullptr) return false;
  return WriteReportLocked(ControlReport(layout_, value));
}

void CHidPort::Write(const uint8_t *bytes, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (device_ == nullptr) return;
  for (const std::vector<uint8_t> &report : OutputReports(layout_, bytes, count)) {
    if (!WriteReportLocked(report)) return;
  }
}

size_t CHidPort::Read(uint8_t *buffer, size_t max) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t moved = input_.Take(buffer, max);
  uint8_t report[HidInputQueue::kReadSize];
  for (int reports = 0; reports < kMaxReportsPerRead && moved < max && device_ != nullptr;
       ++reports) {
    const int got = api_.read_timeout(device_, report, sizeof report, 0);
    if (got < 0) {
      // hidraw reports an unplugged reader as a failed read; the port ends here instead of
      // waiting out its commands.
      CloseDeviceLocked();
      break;
    }
    if (got == 0) break;
    input_.AddReport(report, std::min(static_cast<size_t>(got), sizeof report));
    moved += input_.Take(buffer + moved, max - moved);
  }
  return moved;
}

void CHidPort::CloseDeviceLocked() {
  if (device_ != nullptr) api_.close(device_);
  device_ = nullptr;
  input_.Clear();
  open_.store(false);
}

void CHidPort::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (device_ == nullptr) return;
  WriteReportLocked(ControlReport(layout_, 1));
  CloseDeviceLocked();
}

std::unique_ptr<Transport> OpenHidTransport(std::string_view name, bool &refused_start) {
  refused_start = false;
  auto port = std::make_unique<CHidPort>(HidApi::Process());
  if (!port->Open(name)) return nullptr;
  if (!port->SendControl(0)) {
    refused_start = true;
    port->Close();
    return nullptr;
  }
  return port;
}

}  // namespace kovra
