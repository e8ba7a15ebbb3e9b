// The exported functions that read a port's last error.
#include <algorithm>
#include <cstring>
#include <string>

#include "api/api_guard.h"
#include "api/library_error_text.h"
#include "kovra.h"
#include "reader/sdk_app.h"

using kovra::CKOVRA_SDKApp;
using kovra::Guarded;
using kovra::PortRef;

extern "C" {

KOVRA_API int KOVRA_GetLastError(int handle) {
  return Guarded(KOVRA_ERR_PORT_INVALID, [&] {
    PortRef port = CKOVRA_SDKApp::Instance().FindPort(handle);
    return port ? port->LastError() : KOVRA_ERR_PORT_INVALID;
  });
}

KOVRA_API int KOVRA_GetErrorText(int handle, int language, char *buffer, int size) {
  return Guarded(0, [&] {
    if (buffer == nullptr || size <= 0) return 0;
    const std::string text = kovra::LibraryErrorText(KOVRA_GetLastError(handle), language);
    const int count = std::min(size, static_cast<int>(text.size()));
    std::memcpy(buffer, text.data(), static_cast<size_t>(count));
    return count;
  });
}

}  // extern "C"
