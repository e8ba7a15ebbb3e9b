// The operator's choice of the reader port, without widgets: the four kinds of port list entries
// and their prefixes, the merge of a fresh device list into the one shown, the line setting's
// encoding, the check of a stored choice against the devices present, and the entries whose
// reader can switch between HID and virtual COM mode.
#pragma once

#include <QString>
#include <QStringList>

#include "writer/settings/settings_store.h"

namespace quillmate {

// The kinds in the order of the port list.
enum class PortKind { kSerial = 0, kUsb = 1, kLan = 2, kBluetooth = 3, kPcsc = 4 };
inline constexpr int kPortKinds = 5;

// "", "USB: ", "LAN: ", "Bluetooth: " or "" for PC/SC readers, whose library names already begin
// with "PCSC: " (KOVRA_ListPcscPorts) and are opened as they stand.
QString PrefixOf(PortKind kind);
// The kind an entry's prefix names (a serial entry has none; "PCSC: " is a PC/SC reader).
PortKind KindOfEntry(const QString &entry);
// The entry without its prefix.
QString WithoutPrefix(const QString &entry);

// The library's names of one kind (KOVRA_ListComPorts, ...UsbPorts, ...LanPorts, ...BtPorts,
// ...PcscPorts),
// in its order, without prefixes. The network search takes its time (every local adapter).
QStringList LibraryPortNames(PortKind kind);

// Merges `fresh` into `cached` so that it equals `fresh`, keeping the entries up to the first
// difference. True when anything changed.
bool FillPortList(const QStringList &fresh, QStringList &cached);

// The line setting "Baudrate": baud (a multiple of 100) plus a framing code in the last two
// digits: 0 no parity and 1 stop bit, 1 even parity, 2 odd parity, 3 no parity and 2 stop bits.
struct LineSetting {
  int baud = 0;
  int parity = 0;     // 0 none, 1 even, 2 odd
  int stop_bits = 1;  // 1 or 2
};
// A code of 4 or more reads as no parity and 1 stop bit.
LineSetting DecodeLineSetting(int value);
// Parity wins over stop bits: even or odd parity always means 1 stop bit.
int EncodeLineSetting(const LineSetting &setting);

// Checks a stored USB, network or Bluetooth choice against the devices present: one that is gone
// becomes the first present device of its kind, or the empty name when there is none. A network
// choice is checked only while network readers are enabled, and only when it does not answer a
// ping. Serial choices stay as they are. True when port.name was changed (to be stored).
bool CheckStoredChoice(PortSettings &port);

// Checks a port the operator typed instead of choosing it from the list. A serial port is a
// device path: "/dev/ttyUSB0", a udev link such as "/dev/serial/by-id/...", a pseudo-terminal
// "/dev/pts/3", each optionally followed by ":" and a bus address. It must exist and be a
// character device (a link is followed). Entries with a prefix ("USB: ", "LAN: ", "Bluetooth: ")
// are left to the library. Empty when the entry can be taken; otherwise what is wrong with it.
QString TypedPortProblem(const QString &entry);

// A USB reader in HID mode that can switch to virtual COM: "USB: " and " HID" and one of the
// article-number prefixes of the switchable readers.
bool IsHidReaderEntry(const QString &entry);
// A serial port that is one of our readers in virtual COM mode.
bool IsVirtualComEntry(const QString &entry);

// Switches the reader of `port_name` to USB mode 1 (HID) or 2 (virtual COM): opens it, sends the
// mode and the control command that restarts its USB link, closes it. False when it did not open.
bool SwitchUsbMode(const QString &port_name, int mode);

}  // namespace quillmate
