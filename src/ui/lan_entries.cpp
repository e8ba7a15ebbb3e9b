// What the network reader dialogs make of the library's answers: device lists and a reader's
// network settings.
#include "ui/lan_entries.h"

#include <cstring>

namespace quillmate::ui {
namespace {

QString KeyOf(const QString &entry) {
  if (!entry.startsWith(QLatin1Char('['))) return entry;
  const qsizetype close = entry.indexOf(QLatin1Char(']'));
  return close < 0 ? entry : entry.left(close + 1);
}

// The number after the first "-" of `text` from `from` on; `fallback` without one or when it is
// no number.
int PortAfterHyphen(const QString &text, qsizetype from, int fallback) {
  const qsizetype hyphen = text.indexOf(QLatin1Char('-'), from);
  if (hyphen < 0) return fallback;
  bool ok = false;
  const int port = text.mid(hyphen + 1).toInt(&ok);
  return ok ? port : fallback;
}

constexpr int kDefaultReaderPort = 10001;

}  // namespace

QStringList SearchBufferEntries(const char *buffer, int used) {
  QStringList entries;
  if (buffer == nullptr) return entries;
  int at = 0;
  while (at < used) {
    const int length = static_cast<int>(strnlen(buffer + at, static_cast<size_t>(used - at)));
    if (length == 0) break;  // the closing NUL
    entries.append(QString::fromLatin1(buffer + at, length));
    at += length + 1;
  }
  return entries;
}

QList<FoundDevice> MergeSearchResults(const QStringList &makers_readers,
                                      const QStringList &all_devices) {
  QList<FoundDevice> devices;
  for (const QString &entry : makers_readers) {
    if (!entry.isEmpty()) devices.append({entry, DeviceMark::kMakersReader});
  }
  for (const QString &entry : all_devices) {
    if (entry.isEmpty()) continue;
    const QString key = KeyOf(entry);
    bool listed = false;
    for (FoundDevice &device : devices) {
      if (device.text.compare(key, Qt::CaseInsensitive) == 0) {
        device = {entry, DeviceMark::kMakersReader};
        listed = true;
        break;
      }
    }
    if (!listed) devices.append({entry, DeviceMark::kOtherDevice});
  }
  return devices;
}

ReaderNetworkSettings ParseReaderSettings(const QString &name, const QString &address,
                                          const QString &mask, const QString &gateway) {
  ReaderNetworkSettings settings;
  if (!address.isEmpty()) {
    settings.mode = 1;
    settings.port = PortAfterHyphen(address, 0, kDefaultReaderPort);
    const qsizetype hyphen = address.indexOf(QLatin1Char('-'));
    settings.address = hyphen < 0 ? address : address.left(hyphen);
  } else {
    settings.mode = 0;
  }
  const qsizetype close = name.indexOf(QLatin1Char(']'));
  if (name.startsWith(QLatin1Char('[')) && close > 0) {
    settings.device_name = name.mid(1, close - 1);
    if (settings.mode == 0 && name.mid(close + 1).startsWith(QLatin1Char('-'))) {
      settings.port = PortAfterHyphen(name, close, kDefaultReaderPort);
    }
  } else {
    settings.device_name = name;
  }
  settings.mask = mask;
  settings.gateway = gateway;
  return settings;
}

QString AddressSpecification(int mode, const QString &device_name, const QString &address,
                             int port) {
  const QString target = mode == 0 ? QStringLiteral("[%1]").arg(device_name) : address;
  return target + QLatin1Char('-') + QString::number(port);
}

bool IsUsableAddress(const QString &address) {
  const QStringList parts = address.split(QLatin1Char('.'));
  if (parts.size() != 4) return false;
  bool any_set = false;
  for (const QString &part : parts) {
    bool ok = false;
    const int value = part.toInt(&ok);
    if (!ok || part.isEmpty() || part.size() > 3 || value < 0 || value > 255) return false;
    any_set = any_set || value != 0;
  }
  return any_set;
}

}  // namespace quillmate::ui
