// A stand-in for the USBXpress library (libSiUSBXp.so) with its exported functions in their
// Linux form (transport/bluetooth/usbxpress_abi.h), so the library under test loads it through its
// ordinary dlopen path. Its devices come from the file named by $FAKE_SIUSBXP_CONFIG, read anew by
// every call that lists or opens; a device with a "sim" carries its bytes to a pseudo-terminal
// (kovra-sim
// --bt, the Bluetooth module behind the bridge).
// The file's lines are those of support/fake_device_list.h ("device serial=ULO-PN7341#0001
// sim=/dev/pts/7"; "open_fails=1": SI_Open fails; "fails=SI_SetBreak": that function fails on
// the device); "report_count N" makes SI_GetNumDevices claim N devices. A failing SI_Open
// answers status "open_status N" (default 0xFF, device not found) and leaves "failed_handle N" in
// its handle (default 4294967295, INVALID_HANDLE_VALUE as the Linux headers define it; 0 null,
// -1 the all-ones pointer).
//
// It refuses a handle it did not give out (status 1, invalid handle) and counts every such call:
// fake_siusbxp_misuses() tells a test whether the library under test went on with a handle that
// was none.
//
// Built with FAKE_SIUSBXP_WITHOUT_DRIVER_VERSION it lacks SI_GetDriverVersion (never called),
// with FAKE_SIUSBXP_WITHOUT_OPEN it lacks SI_Open.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_device_list.h"
#include "transport/bluetooth/usbxpress_abi.h"

namespace {

using namespace kovra::usbxpress;

constexpr SI_STATUS kDeviceNotFound = 0xFF;
constexpr SI_STATUS kIoError = 0x04;
constexpr SI_STATUS kInvalidHandle = 0x01;
constexpr long kLinuxInvalidHandle = 0xFFFFFFFFL;

using kovra_test::FakeDevice;

struct Config {
  long report_count = -1;
  SI_STATUS open_status = kDeviceNotFound;
  long failed_handle = kLinuxInvalidHandle;
  std::vector<FakeDevice> devices;
};

struct Bridge {
  int fd = -1;
  int writes = 0;
  int unplug_after = 0;
  std::string fails;
  bool Gone() const { return unplug_after > 0 && writes >= unplug_after; }
  // Whether the function `name` fails on this device.
  bool Fails(const char *name) const { return Gone() || fails == name; }
};

Config ReadConfig() {
  kovra_test::FakeDeviceList list = kovra_test::ReadFakeDeviceList("FAKE_SIUSBXP_CONFIG");
  Config config;
  config.report_count = list.Setting("report_count", -1);
  config.open_status = static_cast<SI_STATUS>(list.Setting("open_status", kDeviceNotFound));
  config.failed_handle = list.Setting("failed_handle", kLinuxInvalidHandle);
  config.devices = std::move(list.devices);
  return config;
}

std::mutex bridges_mutex;
std::set<Bridge *> bridges;
std::atomic<int> misuses{0};

// The bridge of a handle this library gave out; null (and one misuse more) for any other.
Bridge *Of(HANDLE handle) {
  std::lock_guard<std::mutex> lock(bridges_mutex);
  const auto found = bridges.find(static_cast<Bridge *>(handle));
  if (found != bridges.end()) return *found;
  ++misuses;
  return nullptr;
}

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int fake_siusbxp_misuses() {
  return misuses.load();
}

EXPORT SI_STATUS SI_GetNumDevices(DWORD *count) {
  const Config config = ReadConfig();
  *count = config.report_count >= 0 ? static_cast<DWORD>(config.report_count)
                                    : static_cast<DWORD>(config.devices.size());
  return kSuccess;
}

EXPORT SI_STATUS SI_GetProductString(DWORD index, void *text, DWORD flags) {
  const Config config = ReadConfig();
  if (index >= config.devices.size()) return kDeviceNotFound;
  if (flags != kReturnSerialNumber) return kIoError;
  std::strncpy(static_cast<char *>(text), config.devices[index].serial.c_str(),
               kProductStringSize - 1);
  return kSuccess;
}

#ifndef FAKE_SIUSBXP_WITHOUT_OPEN
EXPORT SI_STATUS SI_Open(DWORD index, HANDLE *handle) {
  const Config config = ReadConfig();
  if (index >= config.devices.size()) return kDeviceNotFound;
  const FakeDevice &device = config.devices[index];
  if (device.open_fails) {
    *handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(config.failed_handle));
    return config.open_status;
  }
  const int fd = ::open(device.sim.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kDeviceNotFound;
  termios tty{};
  if (::tcgetattr(fd, &tty) == 0) {
    ::cfmakeraw(&tty);
    ::tcsetattr(fd, TCSANOW, &tty);
  }
  auto *bridge = new Bridge{fd, 0, device.unplug_after, device.fails};
  {
    std::lock_guard<std::mutex> lock(bridges_mutex);
    bridges.insert(bridge);
  }
  *handle = bridge;
  return kSuccess;
}
#endif

EXPORT SI_STATUS SI_Close(HANDLE handle) {
  Bridge *bridge = Of(handle);
  if (!bridge) return kInvalidHandle;
  {
    std::lock_guard<std::mutex> lock(bridges_mutex);
    bridges.erase(bridge);
  }
  ::close(bridge->fd);
  delete bridge;
  return kSuccess;
}

EXPORT SI_STATUS SI_Read(HANDLE handle, void *buffer, DWORD size, DWORD *done, void *) {
  Bridge *bridge = Of(handle);
  if (!bridge) return kInvalidHandle;
  if (bridge->Fails("SI_Read")) return kIoError;
  const ssize_t n = ::read(bridge->fd, buffer, size);
  *done = n > 0 ? static_cast<DWORD>(n) : 0;
  return kSuccess;
}

EXPORT SI_STATUS SI_Write(HANDLE handle, void *bytes, DWORD size, DWORD *done, void *) {
  Bridge *bridge = Of(handle);
  if (!bridge) return kInvalidHandle;
  if (bridge->Fails("SI_Write")) return kIoError;
  ++bridge->writes;
  const ssize_t n = ::write(bridge->fd, bytes, size);
  *done = n > 0 ? static_cast<DWORD>(n) : 0;
  return n >= 0 ? kSuccess : kIoError;
}

EXPORT SI_STATUS SI_CheckRXQueue(HANDLE handle, DWORD *bytes, DWORD *status) {
  Bridge *bridge = Of(handle);
  if (!bridge) return kInvalidHandle;
  if (bridge->Fails("SI_CheckRXQueue")) return kIoError;
  int waiting = 0;
  if (::ioctl(bridge->fd, FIONREAD, &waiting) != 0) return kIoError;
  *bytes = static_cast<DWORD>(waiting);
  *status = waiting > 0 ? 2 : 0;
  return kSuccess;
}

EXPORT SI_STATUS SI_DeviceIOControl(HANDLE handle, DWORD, void *, DWORD, void *, DWORD, DWORD *) {
  return Of(handle) ? kSuccess : kInvalidHandle;
}
EXPORT SI_STATUS SI_FlushBuffers(HANDLE handle, BYTE, BYTE) {
  Bridge *bridge = Of(handle);
  if (!bridge) return kInvalidHandle;
  return bridge->Fails("SI_FlushBuffers") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_SetTimeouts(DWORD, DWORD) {
  return kSuccess;
}
EXPORT SI_STATUS SI_GetTimeouts(DWORD *read_ms, DWORD *write_ms) {
  *read_ms = *write_ms = 1000;
  return kSuccess;
}
EXPORT SI_STATUS SI_SetBaudRate(HANDLE handle, DWORD) {
  Bridge *bridge = Of(handle);
  if (!bridge) return kInvalidHandle;
  return bridge->Fails("SI_SetBaudRate") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_SetBaudDivisor(HANDLE handle, WORD) {
  return Of(handle) ? kSuccess : kInvalidHandle;
}
EXPORT SI_STATUS SI_SetLineControl(HANDLE handle, WORD) {
  Bridge *bridge = Of(handle);
  if (!bridge) return kInvalidHandle;
  return bridge->Fails("SI_SetLineControl") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_SetFlowControl(HANDLE handle, BYTE, BYTE, BYTE, BYTE, BYTE, BOOL) {
  Bridge *bridge = Of(handle);
  if (!bridge) return kInvalidHandle;
  return bridge->Fails("SI_SetFlowControl") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_GetModemStatus(HANDLE handle, BYTE *status) {
  if (!Of(handle)) return kInvalidHandle;
  *status = 0;
  return kSuccess;
}
EXPORT SI_STATUS SI_SetBreak(HANDLE handle, WORD) {
  Bridge *bridge = Of(handle);
  if (!bridge) return kInvalidHandle;
  return bridge->Fails("SI_SetBreak") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_ReadLatch(HANDLE handle, BYTE *latch) {
  if (!Of(handle)) return kInvalidHandle;
  *latch = 0;
  return kSuccess;
}
EXPORT SI_STATUS SI_WriteLatch(HANDLE handle, BYTE, BYTE) {
  return Of(handle) ? kSuccess : kInvalidHandle;
}
EXPORT SI_STATUS SI_GetPartNumber(DWORD, BYTE *part) {
  *part = 0x0A;
  return kSuccess;
}
EXPORT SI_STATUS SI_GetDLLVersion(DWORD *high, DWORD *low) {
  *high = *low = 0;
  return kSuccess;
}
#ifndef FAKE_SIUSBXP_WITHOUT_DRIVER_VERSION
EXPORT SI_STATUS SI_GetDriverVersion(DWORD *high, DWORD *low) {
  *high = *low = 0;
  return kSuccess;
}
#endif
