// The exported functions that open, identify and close ports.
#include <algorithm>
#include <cstring>
#include <string>

#include "api/api_guard.h"
#include "api/open_port.h"
#include "kovra.h"
#include "reader/answer_copy.h"
#include "reader/device_names.h"
#include "reader/sdk_app.h"
#include "reader/wait.h"
#include "transport/link_failure.h"

using kovra::CKOVRA_SDKApp;
using kovra::Guarded;
using kovra::PortRef;

namespace {

PortRef Find(int handle) {
  return CKOVRA_SDKApp::Instance().FindPort(handle);
}

}  // namespace

extern "C" {

KOVRA_API int KOVRA_OpenPort(const char *name, int baud, int timeout_ms) {
  kovra::SetLinkFailure(KOVRA_LINK_OK);
  return Guarded(KOVRA_OPEN_FAILED, [&] { return kovra::OpenPort(name, baud, timeout_ms); });
}

KOVRA_API int KOVRA_GetLinkFailure(void) {
  return kovra::LinkFailure();
}

KOVRA_API int KOVRA_IsLinkUp(int handle) {
  return Guarded(-1, [&] {
    PortRef port = Find(handle);
    if (!port) return -1;
    return port->LinkUp() ? 1 : 0;
  });
}

KOVRA_API int KOVRA_ClosePort(int handle) {
  return Guarded(-1, [&] { return kovra::ClosePort(handle); });
}

KOVRA_API int KOVRA_GetVersion(int handle, unsigned char *buffer, int size) {
  return Guarded(-1, [&] {
    PortRef port = Find(handle);
    if (!port) return -1;
    kovra::CMyByteArray answer;
    if (!kovra::VersionQuery(*port, answer)) return -1;
    return kovra::CopyAnswer(*port, answer, buffer, size);
  });
}

KOVRA_API int KOVRA_GetDeviceName(int handle, char *buffer, int size) {
  return Guarded(0, [&] {
    PortRef port = Find(handle);
    const std::string name = kovra::DeviceName(port ? port->DeviceType() : 0);
    if (buffer != nullptr && size > 0) {
      std::memset(buffer, 0, static_cast<size_t>(size));
      std::memcpy(buffer, name.data(), std::min(name.size(), static_cast<size_t>(size - 1)));
    }
    return static_cast<int>(name.size());
  });
}

KOVRA_API int KOVRA_IsDeviceCapable(int handle) {
  return Guarded(-1, [&] {
    PortRef port = Find(handle);
    return port ? (port->DeviceType() & 1) : -1;
  });
}

KOVRA_API int KOVRA_IsUsbDevice(int handle) {
  return Guarded(-1, [&] {
    PortRef port = Find(handle);
    if (!port) return -1;
    return port->GetTransport() != nullptr && port->GetTransport()->IsUsbDevice() ? 1 : 0;
  });
}

KOVRA_API int KOVRA_SetBackgroundMode(int handle, int on) {
  return Guarded(-1, [&] {
    PortRef port = Find(handle);
    if (!port) return -1;
    port->SetBackgroundMode(on != 0);
    return 1;
  });
}

KOVRA_API int KOVRA_SetWaitHandler(KOVRA_WaitHandler handler, void *context) {
  return Guarded(-1, [&] {
    kovra::SetWaitHandler(handler, context);
    return 0;
  });
}

}  // extern "C"
