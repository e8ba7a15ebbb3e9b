// What an open reader says about itself: version, name, and whether it can do what the writer
// needs.
#include "writer/reader/reader_identity.h"

#include <QElapsedTimer>
#include <cstring>

#include "kovra.h"

namespace quillmate {
namespace {

constexpr int kVersionChars = 4;
constexpr int kMaxDeviceNameChars = 30;

// A Bluetooth adapter's port is handed out before the adapter has found its reader: the search
// (inquiry and name request at most 10 s each, the link at most 5 s) goes on with every command,
// and each command's wait ends at the port's timeout. Its version is asked again until it comes
// or this bound has passed; each try keeps calling the wait handler, so a window stays alive.
constexpr qint64 kBluetoothSearchMs = 30000;
constexpr char kBluetoothAdapterName[] = "KV-BT Adapter";  // device type 0x125 before the search

bool IsBluetoothAdapter(int handle) {
  char name[32] = {};
  return KOVRA_GetDeviceName(handle, name, sizeof name) > 0 &&
         std::strcmp(name, kBluetoothAdapterName) == 0;
}

// The version answer's length, asked once, or for a Bluetooth adapter until the search's bound.
int AskVersion(int handle, unsigned char *version, int size) {
  const bool searching = IsBluetoothAdapter(handle);
  QElapsedTimer search;
  search.start();
  for (;;) {
    const int length = KOVRA_GetVersion(handle, version, size);
    if (length > 0 || !searching || search.elapsed() >= kBluetoothSearchMs ||
        KOVRA_IsLinkUp(handle) != 1) {
      return length;
    }
  }
}

int MinorNumber(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 36;
  return 0;
}

}  // namespace

QString FirmwareText(const QByteArray &version) {
  if (version.size() < kVersionChars) return {};
  return QStringLiteral("FW V%1.%2")
      .arg(1)
      .arg(MinorNumber(version.at(3)), 2, 10, QLatin1Char('0'));
}

int DeviceType(const QByteArray &version) {
  if (version.size() < kVersionChars) return 0;
  bool ok = false;
  const int type = version.left(3).toInt(&ok, 16);
  return ok ? type : 0;
}

ReaderIdentity IdentifyReader(int handle) {
  ReaderIdentity identity;
  unsigned char version[16] = {};
  const int length = AskVersion(handle, version, sizeof version);
  if (length < kVersionChars) return identity;
  const QByteArray answer(reinterpret_cast<const char *>(version), kVersionChars);
  identity.answered = true;
  identity.version = QString::fromLatin1(answer);
  identity.device_type = DeviceType(answer);
  identity.firmware = FirmwareText(answer);
  char name[kMaxDeviceNameChars + 1] = {};
  if (KOVRA_GetDeviceName(handle, name, sizeof name) > 0 && name[0] != '\0') {
    identity.device_name = QString::fromLatin1(name).left(kMaxDeviceNameChars);
  } else {
    identity.device_name = QStringLiteral("---");
  }
  identity.capable = KOVRA_IsDeviceCapable(handle) == 1;
  identity.usb = KOVRA_IsUsbDevice(handle) == 1;
  return identity;
}

}  // namespace quillmate
