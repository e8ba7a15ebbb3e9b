// A stand-in for FTDI's D2XX library, built with its file name (libftd2xx.so) and its exported
// functions in their Linux form (transport/ftdi/d2xx_abi.h), so the library under test loads it
// through its ordinary dlopen path. Its devices come from the file named by $FAKE_D2XX_CONFIG,
// read anew by every listing and open; a device with a "sim" carries its bytes to a simulated
// reader's pseudo-terminal, playing the FTDI chip.
//
// The file's lines are those of support/fake_device_list.h ("open_fails=1": FT_W32_CreateFile
// fails); "create_status N" and "report_count N" make FT_CreateDeviceInfoList answer status N or
// claim N devices; "failed_handle N" is what a failed FT_W32_CreateFile answers (default
// 4294967295, INVALID_HANDLE_VALUE as the Linux headers define it; 0 null, -1 the all-ones
// pointer).
//
// Like the real library it refuses a handle it did not give out (FT_INVALID_HANDLE, or false),
// and counts every such call: fake_d2xx_misuses() tells a test whether the library under test
// went on with a handle that was none.
//
// Built with FAKE_D2XX_WITHOUT_USB_PARAMETERS it lacks FT_SetUSBParameters, with
// FAKE_D2XX_WITHOUT_CREATE_FILE it lacks FT_W32_CreateFile, as broken installs would.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_device_list.h"
#include "transport/ftdi/d2xx_abi.h"

namespace {

using namespace kovra::d2xx;

using kovra_test::FakeDevice;

constexpr FT_STATUS kInvalidHandle = 1;
constexpr long kLinuxInvalidHandle = 0xFFFFFFFFL;

struct Config {
  FT_STATUS create_status = kOk;
  long report_count = -1;
  long failed_handle = kLinuxInvalidHandle;
  std::vector<FakeDevice> devices;
};

struct Handle {
  std::string serial;
  int fd = -1;
  int writes = 0;
  int unplug_after = 0;
  bool Gone() const { return unplug_after > 0 && writes >= unplug_after; }
};

std::mutex open_mutex;
std::map<std::string, Handle *> open_devices;

Config ReadConfig() {
  kovra_test::FakeDeviceList list = kovra_test::ReadFakeDeviceList("FAKE_D2XX_CONFIG");
  Config config;
  config.create_status = static_cast<FT_STATUS>(list.Setting("create_status", kOk));
  config.report_count = list.Setting("report_count", -1);
  config.failed_handle = list.Setting("failed_handle", kLinuxInvalidHandle);
  config.devices = std::move(list.devices);
  return config;
}

std::atomic<int> misuses{0};

// The open device of a handle this library gave out; null (and one misuse more) for any other.
Handle *Of(FT_HANDLE handle) {
  std::lock_guard<std::mutex> lock(open_mutex);
  for (const auto &[serial, open] : open_devices) {
    if (open == handle) return open;
  }
  ++misuses;
  return nullptr;
}

[[maybe_unused]] FT_HANDLE Failed(const Config &config) {
  return reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(config.failed_handle));
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int fake_d2xx_misuses() {
  return misuses.load();
}

__attribute__((visibility("default"))) FT_STATUS FT_ListDevices(void *, void *, DWORD) {
  return kOk;
}

__attribute__((visibility("default"))) FT_STATUS FT_CreateDeviceInfoList(DWORD *count) {
  const Config config = ReadConfig();
  if (config.create_status != kOk) return config.create_status;
  *count = config.report_count >= 0 ? static_cast<DWORD>(config.report_count)
                                    : static_cast<DWORD>(config.devices.size());
  return kOk;
}

__attribute__((visibility("default"))) FT_STATUS FT_GetDeviceInfoList(DeviceInfo *list,
                                                                      DWORD *count) {
  const Config config = ReadConfig();
  const size_t n = std::min<size_t>(*count, config.devices.size());
  std::lock_guard<std::mutex> lock(open_mutex);
  for (size_t i = 0; i < n; ++i) {
    DeviceInfo &record = list[i];
    std::memset(&record, 0, sizeof(record));
    std::strncpy(record.serial_number, config.devices[i].serial.c_str(),
                 sizeof(record.serial_number) - 1);
    std::strncpy(record.description, "Fake FT232R", sizeof(record.description) - 1);
    const auto open = open_devices.find(config.devices[i].serial);
    record.handle = open == open_devices.end() ? nullptr : open->second;
  }
  *count = static_cast<DWORD>(n);
  return kOk;
}

__attribute__((visibility("default"))) FT_STATUS FT_GetDeviceInfoDetail(DWORD, DWORD *, DWORD *,
                                                                        DWORD *, DWORD *, void *,
                                                                        void *, FT_HANDLE *) {
  return kOk;
}
__attribute__((visibility("default"))) FT_STATUS FT_ResetDevice(FT_HANDLE handle) {
  return Of(handle) ? kOk : kInvalidHandle;
}
__attribute__((visibility("default"))) FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG) {
  return Of(handle) ? kOk : kInvalidHandle;
}
__attribute__((visibility("default"))) FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, uint8_t) {
  return Of(handle) ? kOk : kInvalidHandle;
}
#ifndef FAKE_D2XX_WITHOUT_USB_PARAMETERS
__attribute__((visibility("default"))) FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, ULONG,
                                                                     ULONG) {
  return Of(handle) ? kOk : kInvalidHandle;
}
#endif

#ifndef FAKE_D2XX_WITHOUT_CREATE_FILE
__attribute__((visibility("default"))) FT_HANDLE FT_W32_CreateFile(const char *name, DWORD, DWORD,
                                                                   void *, DWORD, DWORD flags,
                                                                   FT_HANDLE) {
  const Config config = ReadConfig();
  if (flags != kOpenBySerialNumber) return Failed(config);
  for (const FakeDevice &device : config.devices) {
    if (device.serial != name || device.open_fails) continue;
    std::lock_guard<std::mutex> lock(open_mutex);
    if (open_devices.count(device.serial)) return Failed(config);  // no sharing
    const int fd = ::open(device.sim.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failed(config);
    termios tty{};
    if (::tcgetattr(fd, &tty) == 0) {
      ::cfmakeraw(&tty);
      ::tcsetattr(fd, TCSANOW, &tty);
    }
    auto *handle = new Handle{device.serial, fd, 0, device.unplug_after};
    open_devices[device.serial] = handle;
    return handle;
  }
  return Failed(config);
}
#endif

__attribute__((visibility("default"))) BOOL FT_W32_CloseHandle(FT_HANDLE handle) {
  Handle *h = Of(handle);
  if (!h) return 0;
  std::lock_guard<std::mutex> lock(open_mutex);
  open_devices.erase(h->serial);
  ::close(h->fd);
  delete h;
  return 1;
}

__attribute__((visibility("default"))) BOOL FT_W32_ReadFile(FT_HANDLE handle, void *buffer,
                                                            DWORD size, DWORD *done, void *) {
  Handle *h = Of(handle);
  if (!h || h->Gone()) return 0;
  const ssize_t n = ::read(h->fd, buffer, size);
  *done = n > 0 ? static_cast<DWORD>(n) : 0;
  return 1;
}

__attribute__((visibility("default"))) BOOL FT_W32_WriteFile(FT_HANDLE handle, const void *bytes,
                                                             DWORD size, DWORD *done, void *) {
  Handle *h = Of(handle);
  if (!h || h->Gone()) return 0;
  ++h->writes;
  const ssize_t n = ::write(h->fd, bytes, size);
  *done = n > 0 ? static_cast<DWORD>(n) : 0;
  return n >= 0 ? 1 : 0;
}

__attribute__((visibility("default"))) DWORD FT_W32_GetLastError(FT_HANDLE) {
  return 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_GetOverlappedResult(FT_HANDLE handle, void *,
                                                                       DWORD *, BOOL) {
  return Of(handle) ? 1 : 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_ClearCommBreak(FT_HANDLE handle) {
  return Of(handle) ? 1 : 0;
}

__attribute__((visibility("default"))) BOOL FT_W32_ClearCommError(FT_HANDLE handle, DWORD *errors,
                                                                  ComStat *status) {
  Handle *h = Of(handle);
  if (!h || h->Gone()) return 0;
  int waiting = 0;
  if (::ioctl(h->fd, FIONREAD, &waiting) != 0) return 0;
  *errors = 0;
  std::memset(status, 0, sizeof(*status));
  status->in_queue = static_cast<DWORD>(waiting);
  return 1;
}

__attribute__((visibility("default"))) BOOL FT_W32_EscapeCommFunction(FT_HANDLE handle, DWORD) {
  return Of(handle) ? 1 : 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_GetCommModemStatus(FT_HANDLE handle,
                                                                      DWORD *status) {
  if (!Of(handle)) return 0;
  *status = 0;
  return 1;
}
__attribute__((visibility("default"))) BOOL FT_W32_GetCommState(FT_HANDLE handle, Dcb *dcb) {
  if (!Of(handle)) return 0;
  std::memset(dcb, 0, sizeof(*dcb));
  dcb->length = sizeof(*dcb);
  dcb->baud_rate = 9600;
  return 1;
}
__attribute__((visibility("default"))) BOOL FT_W32_GetCommTimeouts(FT_HANDLE handle, Timeouts *) {
  return Of(handle) ? 1 : 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_PurgeComm(FT_HANDLE handle, DWORD) {
  return Of(handle) ? 1 : 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_SetCommBreak(FT_HANDLE handle) {
  return Of(handle) ? 1 : 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_SetCommMask(FT_HANDLE handle, ULONG) {
  return Of(handle) ? 1 : 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_SetCommState(FT_HANDLE handle, Dcb *) {
  return Of(handle) ? 1 : 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_SetCommTimeouts(FT_HANDLE handle, Timeouts *) {
  return Of(handle) ? 1 : 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_SetupComm(FT_HANDLE handle, DWORD, DWORD) {
  return Of(handle) ? 1 : 0;
}
__attribute__((visibility("default"))) BOOL FT_W32_WaitCommEvent(FT_HANDLE handle, ULONG *,
                                                                 void *) {
  return Of(handle) ? 1 : 0;
}

}  // extern "C"
