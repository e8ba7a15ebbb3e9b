// Opening a reader port.
#include "api/open_port.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include "kovra.h"
#include "reader/port_name.h"
#include "reader/sdk_app.h"
#include "reader/trace.h"
#include "transport/link_failure.h"
#include "transport/transport_factory.h"

namespace kovra {
namespace {

constexpr uint8_t kVersionCommand = 0xF0;
constexpr unsigned kIdentifyTimeoutMs = 300;  // a silent reader costs at most this per query
constexpr int kDefaultBaud = 19200;
constexpr int kBtAdapterDeviceType = 0x125;
const CMyByteArray kFamily2RawVersion{0x04, 0x05, 0x31, 0x35};

// '0'-'9' = 0-9, 'A'-'Z' = 10-35, 'a'-'z' = 36-61, anything else 255.
uint8_t RevisionValue(uint8_t c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 36);
  return 255;
}

// The first three version characters as a hexadecimal number; the reading stops at the first
// character that is not a hex digit.
int DeviceTypeValue(const CMyByteArray &version) {
  int value = 0;
  for (size_t i = 0; i < 3; ++i) {
    const char c = static_cast<char>(version[i]);
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      break;
    }
    value = value * 16 + digit;
  }
  return value;
}

void SetPrefix(CMyByteArray &answer, const char (&prefix)[4]) {
  for (size_t i = 0; i < 3; ++i) answer[i] = static_cast<uint8_t>(prefix[i]);
}

bool AllAboveSpace(const CMyByteArray &bytes) {
  return std::all_of(bytes.Bytes().begin(), bytes.Bytes().end(),
                     [](uint8_t b) { return b > 0x20; });
}

void RewriteFamily2Version(CKOVRA_Port &port, CMyByteArray &answer) {
  if (answer.GetSize() != 4) return;
  if (answer != kFamily2RawVersion) {
    SetPrefix(answer, "171");
    return;
  }
  SetPrefix(answer, "171");  // "1715" unless the follow-up query tells more
  const uint8_t follow_up[] = {'F', 'V'};
  CMyByteArray detail;
  if (!port.Command(kVersionCommand, follow_up, sizeof follow_up, detail)) return;
  if (detail == kFamily2RawVersion || detail.GetSize() < 4) return;
  if (AllAboveSpace(detail)) answer = detail;
}

void RewriteFamily3Version(CMyByteArray &answer) {
  if (answer.GetSize() != 9) return;
  CMyByteArray version(answer.GetData() + 4, 4);
  SetPrefix(version, "117");
  answer = version;
}

void DiscardPort(const PortRef &port) {
  CKOVRA_SDKApp::Instance().RemovePort(port);
  port->CloseTransport();
}

// One pass of the open sequence. `first_pass` allows the one repetition; the result is a
// handle, a negative result, or 0 for "repeat".
int OpenPass(const char *name_argument, int baud, int timeout_ms, bool first_pass) {
  auto port = std::make_shared<CKOVRA_Port>();
  if (timeout_ms < 0) return KOVRA_OPEN_BAD_TIMEOUT;
  port->SetTimeout(static_cast<unsigned>(timeout_ms));
  const PortName parsed = SplitBusAddress(name_argument);
  port->SetBusAddress(parsed.bus_address);

  OpenedTransport opened = OpenTransport(parsed, baud, *port);
  if (!opened.transport) {
    // Every transport names its reason; this only keeps a forgotten one from reading as success.
    if (LinkFailure() == KOVRA_LINK_OK) SetLinkFailure(KOVRA_LINK_OTHER);
    return opened.refused_start ? KOVRA_OPEN_HID_NOT_STARTED : KOVRA_OPEN_FAILED;
  }
  port->AttachTransport(std::move(opened.transport), *opened.handles);

  auto &app = CKOVRA_SDKApp::Instance();
  trace::Trace("Add Object... ");
  app.AddPort(port);
  trace::Trace("done\n");
  if (RouteOf(parsed.name) == PortRoute::kBluetooth) {
    // The adapter reaches the reader only when the first command goes out, and a search can
    // take seconds: the port is handed out at once, as the adapter's own device type.
    port->SetDeviceType(kBtAdapterDeviceType);
    port->SetFirmwareRevision(0);
    return port->Handle();
  }

  port->SetTimeout(std::min(port->Timeout(), kIdentifyTimeoutMs));
  trace::Trace("Read Version ... ");
  port->SetFamily(0);
  CMyByteArray version;
  bool answered = VersionQuery(*port, version);
  if (!answered && first_pass) {
    DiscardPort(port);
    trace::Trace("repeat\n");
    return 0;
  }
  for (int family = 1; !answered && family <= 3; ++family) {
    port->SetFamily(family);
    answered = VersionQuery(*port, version);
  }
  if (!answered) port->SetFamily(0);
  trace::Trace("done\n");

  if (!answered || version.GetSize() != 4) {
    DiscardPort(port);
    return KOVRA_OPEN_NO_READER;
  }
  port->SetDeviceType(DeviceTypeValue(version));
  port->SetFirmwareRevision(RevisionValue(version[3]));
  port->SetTimeout(static_cast<unsigned>(timeout_ms));
  return port->Handle();
}

}  // namespace

bool VersionQuery(CKOVRA_Port &port, CMyByteArray &answer) {
  if (!port.Command(kVersionCommand, nullptr, 0, answer)) return false;
  if (port.Family() == 2) RewriteFamily2Version(port, answer);
  if (port.Family() == 3) RewriteFamily3Version(answer);
  return true;
}

int OpenPort(const char *name, int baud, int timeout_ms) {
  const std::string name_text = name != nullptr ? name : "";
  trace::TraceFormatted("KOVRA_OpenPort(%s,%d,%d)", name_text.c_str(), baud, timeout_ms);
  if (!UsesBaudArgument(name_text)) baud = kDefaultBaud;

  int result;
  {
    std::lock_guard<std::mutex> lock(CKOVRA_SDKApp::Instance().OpenLock());
    result = OpenPass(name_text.c_str(), baud, timeout_ms, true);
    if (result == 0) result = OpenPass(name_text.c_str(), baud, timeout_ms, false);
  }
  trace::TraceFormatted(" = %d\r\n", result);
  return result;
}

int ClosePort(int handle) {
  trace::TraceFormatted("KOVRA_ClosePort(%d)\r\n", handle);
  auto &app = CKOVRA_SDKApp::Instance();
  PortRef port = app.FindPort(handle);
  if (!port) return -1;
  DiscardPort(port);
  return 0;
}

}  // namespace kovra
