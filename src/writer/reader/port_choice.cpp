// The operator's choice of the reader port without widgets: list entries, their merge, and the
// check of a stored choice.
#include "writer/reader/port_choice.h"

#include <sys/stat.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <array>
#include <vector>

#include "kovra.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "PortChoice" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(PortChoice)
};

constexpr std::array<const char *, kPortKinds> kPrefixes = {"",
                                                            "USB: ", "LAN: ", "Bluetooth: ", ""};
// How the library names PC/SC readers (KOVRA_ListPcscPorts).
constexpr char kPcscNamePrefix[] = "PCSC: ";

// Room for the names of one list. Serial ports are listed by their long /dev/serial/by-id/ names
// on Linux, so a dozen of them need more than the 2500 bytes a COM list needed.
constexpr int kListBufferSize = 16384;

// The article-number prefixes of the readers that can switch between HID and virtual COM mode:
// the first fifteen numbers of our 31xx desktop readers.
constexpr std::array<const char *, 15> kSwitchableArticles = {
    "3100-", "3101-", "3102-", "3103-", "3104-", "3105-", "3106-", "3107-",
    "3108-", "3109-", "3110-", "3111-", "3112-", "3113-", "3114-"};

// Holds `needle` somewhere after the first character.
bool HoldsAfterFirst(const QString &text, const QString &needle) {
  return text.indexOf(needle, 1) > 0;
}

}  // namespace

QString PrefixOf(PortKind kind) {
  return QString::fromLatin1(kPrefixes[static_cast<size_t>(kind)]);
}

PortKind KindOfEntry(const QString &entry) {
  if (entry.startsWith(QLatin1String(kPcscNamePrefix))) return PortKind::kPcsc;
  for (const PortKind kind : {PortKind::kUsb, PortKind::kLan, PortKind::kBluetooth}) {
    if (entry.startsWith(PrefixOf(kind))) return kind;
  }
  return PortKind::kSerial;
}

QString WithoutPrefix(const QString &entry) {
  return entry.mid(PrefixOf(KindOfEntry(entry)).size());
}

QStringList LibraryPortNames(PortKind kind) {
  std::vector<char> buffer(kListBufferSize, '\0');
  int used = 0;
  switch (kind) {
    case PortKind::kSerial:
      used = KOVRA_ListComPorts(buffer.data(), kListBufferSize);
      break;
    case PortKind::kUsb:
      used = KOVRA_ListUsbPorts(buffer.data(), kListBufferSize);
      break;
    case PortKind::kLan:
      used = KOVRA_ListLanPorts(buffer.data(), kListBufferSize);
      break;
    case PortKind::kBluetooth:
      used = KOVRA_ListBtPorts(buffer.data(), kListBufferSize);
      break;
    case PortKind::kPcsc:
      used = KOVRA_ListPcscPorts(buffer.data(), kListBufferSize);
      break;
  }
  QStringList names;
  size_t at = 0;
  const size_t end = used > 0 ? static_cast<size_t>(used) : 0;
  while (at < end && at < buffer.size() && buffer[at] != '\0') {
    const QByteArray name(buffer.data() + at);
    names.append(QString::fromUtf8(name));
    at += static_cast<size_t>(name.size()) + 1;
  }
  return names;
}

bool FillPortList(const QStringList &fresh, QStringList &cached) {
  qsizetype same = 0;
  while (same < fresh.size() && same < cached.size() && fresh[same] == cached[same]) ++same;
  if (same == fresh.size() && same == cached.size()) return false;
  cached = fresh;
  return true;
}

LineSetting DecodeLineSetting(int value) {
  LineSetting setting;
  const int code = value % 100;
  setting.baud = value - code;
  setting.parity = code == 1 ? 1 : code == 2 ? 2 : 0;
  setting.stop_bits = code == 3 ? 2 : 1;
  return setting;
}

int EncodeLineSetting(const LineSetting &setting) {
  if (setting.parity == 1) return setting.baud + 1;
  if (setting.parity == 2) return setting.baud + 2;
  return setting.baud + (setting.stop_bits == 2 ? 3 : 0);
}

bool CheckStoredChoice(PortSettings &port) {
  const PortKind kind = KindOfEntry(port.name);
  if (kind == PortKind::kSerial) return false;
  if (kind == PortKind::kLan) {
    if (!port.ethernet_active) return false;
    if (KOVRA_PingLanDevice(WithoutPrefix(port.name).toUtf8().constData()) == 1) return false;
  }
  const QStringList present = LibraryPortNames(kind);
  QString checked = port.name;
  if (present.isEmpty()) {
    checked.clear();
  } else if (!present.contains(WithoutPrefix(port.name))) {
    checked = PrefixOf(kind) + present.front();
  }
  if (checked == port.name) return false;
  port.name = checked;
  return true;
}

bool IsHidReaderEntry(const QString &entry) {
  if (!entry.startsWith(PrefixOf(PortKind::kUsb)) ||
      !HoldsAfterFirst(entry, QStringLiteral(" HID"))) {
    return false;
  }
  for (const char *article : kSwitchableArticles) {
    if (HoldsAfterFirst(entry, QString::fromLatin1(article))) return true;
  }
  return false;
}

bool IsVirtualComEntry(const QString &entry) {
  return KindOfEntry(entry) == PortKind::kSerial && entry.size() > 3 &&
         HoldsAfterFirst(entry, QStringLiteral(" [Ulo Virtual COM"));
}

bool SwitchUsbMode(const QString &port_name, int mode) {
  const int handle = KOVRA_OpenPort(port_name.toUtf8().constData(), 19200, 100);
  if (handle <= 0) return false;
  KOVRA_SetUsbMode(handle, mode);
  KOVRA_SendControlCommand(handle, 0, 0);
  KOVRA_ClosePort(handle);
  return true;
}

QString TypedPortProblem(const QString &entry) {
  if (entry.isEmpty() || KindOfEntry(entry) != PortKind::kSerial) return {};
  // Any absolute path: a reader may sit behind a link that udev rules or socat made elsewhere.
  if (!entry.startsWith(QLatin1Char('/'))) {
    return Texts::tr(
               "\"%1\" ist kein Gerätepfad: bitte einen absoluten Pfad eingeben, z. B. "
               "/dev/ttyUSB0 oder /dev/serial/by-id/...")
        .arg(entry);
  }
  // A bus address after the path (":2") is the library's; the device is the part before it.
  QString path = entry;
  static const QRegularExpression kAddress(QStringLiteral(":[0-9]+$"));
  path.remove(kAddress);
  const QFileInfo info(path);
  if (!info.exists()) {
    return Texts::tr("%1 gibt es nicht: ist der Leser angeschlossen und der Pfad richtig?")
        .arg(path);
  }
  struct stat status {};
  if (::stat(QFile::encodeName(info.canonicalFilePath()).constData(), &status) != 0 ||
      !S_ISCHR(status.st_mode)) {
    return Texts::tr("%1 ist keine serielle Schnittstelle (kein Zeichengerät).").arg(path);
  }
  return {};
}

}  // namespace quillmate
