// CD2xxPort: the transport of a reader on an FTDI chip driven through the vendor's D2XX library
// (d2xx_binding.h), opened by the chip's serial number.
#include "transport/ftdi/d2xx_port.h"

#include <chrono>
#include <system_error>

#include "kovra.h"
#include "reader/trace.h"
#include "transport/link_failure.h"

namespace kovra {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(1);

uint8_t ParityCode(char parity) {
  switch (parity) {
    case 'O':
      return 1;
    case 'E':
      return 2;
    case 'M':
      return 3;
    case 'S':
      return 4;
    default:
      return 0;
  }
}

}  // namespace

bool CD2xxPort::Open(std::string_view serial_number, const LineSettings &line) {
  Close();
  const std::string serial(serial_number);
  const d2xx::FT_HANDLE handle = binding_.W32CreateFile(serial.c_str());
  if (!d2xx::Usable(handle)) {
    SetLinkFailure(binding_.Loaded() ? KOVRA_LINK_NO_DEVICE : KOVRA_LINK_NOT_SUPPORTED);
    return false;
  }
  binding_.SetLatencyTimer(handle, 2);
  // Reads return at once with what is there; the port thread polls.
  d2xx::Timeouts timeouts{0xFFFFFFFFu, 0, 0, 0, 0};
  d2xx::Dcb dcb{};
  dcb.length = sizeof(dcb);
  if (binding_.W32SetCommTimeouts(handle, &timeouts) && binding_.W32SetCommMask(handle, 0) &&
      binding_.W32GetCommState(handle, &dcb)) {
    dcb.baud_rate = line.baud > 0 ? static_cast<d2xx::DWORD>(line.baud) : 0;
    dcb.byte_size = 8;
    dcb.parity = ParityCode(line.parity);
    dcb.stop_bits = line.stop_bits == 2 ? 2 : 0;
    dcb.flags = d2xx::kDcbBinary | d2xx::kDcbDtrEnable | d2xx::kDcbRtsEnable;
    binding_.W32SetCommState(handle, &dcb);
  }
  binding_.W32PurgeComm(handle, d2xx::kPurgeTxClear | d2xx::kPurgeRxClear);
  handle_ = handle;
  stop_.store(false);
  open_.store(true);
  try {
    thread_ = std::thread(&CD2xxPort::ThreadMain, this);
  } catch (const std::system_error &) {
    open_.store(false);
    handle_ = nullptr;
    binding_.W32CloseHandle(handle);
    SetLinkFailure(KOVRA_LINK_OTHER);
    return false;
  }
  return true;
}

void CD2xxPort::Write(const uint8_t *bytes, size_t count) {
  {
    std::lock_guard<std::mutex> lock(write_lock_);
    if (!open_.load() || pending_.size() + count > kWriteBufferSize) return;
    pending_.insert(pending_.end(), bytes, bytes + count);
  }
  // The frame goes out now, not at the next poll.
  wake_.notify_one();
}

bool CD2xxPort::PollOnce() {
  std::vector<uint8_t> out;
  {
    std::lock_guard<std::mutex> lock(write_lock_);
    out.swap(pending_);
  }
  if (!out.empty()) {
    d2xx::DWORD written = 0;
    if (!binding_.W32WriteFile(handle_, out.data(), static_cast<d2xx::DWORD>(out.size()),
                               &written)) {
      return false;
    }
    if (written < out.size()) {
      // The rest goes out first next time.
      std::lock_guard<std::mutex> lock(write_lock_);
      pending_.insert(pending_.begin(), out.begin() + written, out.end());
    }
  }
  d2xx::DWORD errors = 0;
  d2xx::ComStat status{};
  if (!binding_.W32ClearCommError(handle_, &errors, &status)) return false;
  if (status.in_queue == 0) return true;
  uint8_t buffer[512];
  const d2xx::DWORD want = status.in_queue < sizeof(buffer) ? status.in_queue : sizeof(buffer);
  d2xx::DWORD read = 0;
  if (!binding_.W32ReadFile(handle_, buffer, want, &read)) return false;
  if (read > 0) sink_.OnBytesReceived(buffer, read < want ? read : want);
  return true;
}

void CD2xxPort::ThreadMain() {
  while (!stop_.load()) {
    if (!PollOnce()) {
      // The device went away: the port ends with it, and a waiting command learns it now.
      open_.store(false);
      sink_.OnBytesReceived(nullptr, 0);
      return;
    }
    std::unique_lock<std::mutex> lock(write_lock_);
    wake_.wait_for(lock, kPollInterval, [this] { return stop_.load() || !pending_.empty(); });
  }
}

void CD2xxPort::Close() {
  {
    std::lock_guard<std::mutex> lock(write_lock_);
    stop_.store(true);
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  if (handle_) binding_.W32CloseHandle(handle_);
  handle_ = nullptr;
  open_.store(false);
  std::lock_guard<std::mutex> lock(write_lock_);
  pending_.clear();
}

std::unique_ptr<Transport> OpenD2xxTransport(std::string_view serial_number, int baud_argument,
                                             ReceiveSink &sink) {
  trace::Trace("Init and Create... ");
  auto port = std::make_unique<CD2xxPort>(CFTD2xxPort::Process(), sink);
  if (!port->Open(serial_number, LineSettingsFromBaudArgument(baud_argument))) {
    trace::Trace("Error\n");
    return nullptr;
  }
  trace::Trace("done\n");
  return port;
}

}  // namespace kovra
