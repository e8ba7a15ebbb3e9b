// A stand-in for the USBXpress library (libSiUSBXp.so) with its exported functions in their
// Linux form (transport/usbxpress_abi.h), so the library under test loads it through its ordinary
// dlopen path. Its devices come from the file named by $FAKE_SIUSBXP_CONFIG, read anew by every
// call that lists or opens; a device with a "sim" carries its bytes to a pseudo-terminal (kovra-sim
// --bt, the Bluetooth module behind the bridge).
// The file's lines are those of support/fake_device_list.h ("device serial=ULO-PN7341#0001
// sim=/dev/pts/7"; "open_fails=1": SI_Open fails; "fails=SI_SetBreak": that function fails on
// the device); "report_count N" makes SI_GetNumDevices claim N devices.
//
// Built with FAKE_SIUSBXP_WITHOUT_DRIVER_VERSION it lacks SI_GetDriverVersion (never called),
// with FAKE_SIUSBXP_WITHOUT_OPEN it lacks SI_Open.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_device_list.h"
#include "transport/usbxpress_abi.h"

namespace {

using namespace kovra::usbxpress;

constexpr SI_STATUS kDeviceNotFound = 0xFF;
constexpr SI_STATUS kIoError = 0x04;

using kovra_test::FakeDevice;

struct Config {
  long report_count = -1;
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
  config.devices = std::move(list.devices);
  return config;
}

Bridge *Of(HANDLE handle) {
  return static_cast<Bridge *>(handle);
}

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

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
  if (device.open_fails) return kDeviceNotFound;
  const int fd = ::open(device.sim.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kDeviceNotFound;
  termios tty{};
  if (::tcgetattr(fd, &tty) == 0) {
    ::cfmakeraw(&tty);
    ::tcsetattr(fd, TCSANOW, &tty);
  }
  *handle = new Bridge{fd, 0, device.unplug_after, device.fails};
  return kSuccess;
}
#endif

EXPORT SI_STATUS SI_Close(HANDLE handle) {
  ::close(Of(handle)->fd);
  delete Of(handle);
  return kSuccess;
}

EXPORT SI_STATUS SI_Read(HANDLE handle, void *buffer, DWORD size, DWORD *done, void *) {
  Bridge *bridge = Of(handle);
  if (bridge->Fails("SI_Read")) return kIoError;
  const ssize_t n = ::read(bridge->fd, buffer, size);
  *done = n > 0 ? static_cast<DWORD>(n) : 0;
  return kSuccess;
}

EXPORT SI_STATUS SI_Write(HANDLE handle, void *bytes, DWORD size, DWORD *done, void *) {
  Bridge *bridge = Of(handle);
  if (bridge->Fails("SI_Write")) return kIoError;
  ++bridge->writes;
  const ssize_t n = ::write(bridge->fd, bytes, size);
  *done = n > 0 ? static_cast<DWORD>(n) : 0;
  return n >= 0 ? kSuccess : kIoError;
}

EXPORT SI_STATUS SI_CheckRXQueue(HANDLE handle, DWORD *bytes, DWORD *status) {
  Bridge *bridge = Of(handle);
  if (bridge->Fails("SI_CheckRXQueue")) return kIoError;
  int waiting = 0;
  if (::ioctl(bridge->fd, FIONREAD, &waiting) != 0) return kIoError;
  *bytes = static_cast<DWORD>(waiting);
  *status = waiting > 0 ? 2 : 0;
  return kSuccess;
}

EXPORT SI_STATUS SI_DeviceIOControl(HANDLE, DWORD, void *, DWORD, void *, DWORD, DWORD *) {
  return kSuccess;
}
EXPORT SI_STATUS SI_FlushBuffers(HANDLE handle, BYTE, BYTE) {
  return Of(handle)->Fails("SI_FlushBuffers") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_SetTimeouts(DWORD, DWORD) {
  return kSuccess;
}
EXPORT SI_STATUS SI_GetTimeouts(DWORD *read_ms, DWORD *write_ms) {
  *read_ms = *write_ms = 1000;
  return kSuccess;
}
EXPORT SI_STATUS SI_SetBaudRate(HANDLE handle, DWORD) {
  return Of(handle)->Fails("SI_SetBaudRate") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_SetBaudDivisor(HANDLE, WORD) {
  return kSuccess;
}
EXPORT SI_STATUS SI_SetLineControl(HANDLE handle, WORD) {
  return Of(handle)->Fails("SI_SetLineControl") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_SetFlowControl(HANDLE handle, BYTE, BYTE, BYTE, BYTE, BYTE, BOOL) {
  return Of(handle)->Fails("SI_SetFlowControl") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_GetModemStatus(HANDLE, BYTE *status) {
  *status = 0;
  return kSuccess;
}
EXPORT SI_STATUS SI_SetBreak(HANDLE handle, WORD) {
  return Of(handle)->Fails("SI_SetBreak") ? kIoError : kSuccess;
}
EXPORT SI_STATUS SI_ReadLatch(HANDLE, BYTE *latch) {
  *latch = 0;
  return kSuccess;
}
EXPORT SI_STATUS SI_WriteLatch(HANDLE, BYTE, BYTE) {
  return kSuccess;
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
