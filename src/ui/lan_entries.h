// What the network reader dialogs make of the library's answers: the list of devices a search
// found (the maker's readers and other devices told apart), a reader's network settings as the
// dialog's fields, and the address specification the fields give back to the library.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace quillmate::ui {

// The entries of a search buffer: NUL-terminated texts one after another, closed by one more
// NUL. `used` is the library's result (bytes used, closing NUL included); empty entries are
// skipped, and nothing past the buffer is read.
QStringList SearchBufferEntries(const char *buffer, int used);

enum class DeviceMark { kMakersReader = 1, kOtherDevice = 2 };

struct FoundDevice {
  QString text;  // the search entry: "192.168.1.50-10001" or "[NAME]192.168.1.77-10001"
  DeviceMark mark;
};

// The IP search's list: first the maker's readers as the filtered search lists them, in its
// order; then every entry of the unfiltered search. An unfiltered entry whose key (the entry, or
// for an entry that starts with "[" the text up to and including the first "]") equals a listed
// entry (compared without regard to case) replaces that entry's text in place, so a DHCP reader
// shows its identity with address and port; any other entry is added as another device.
QList<FoundDevice> MergeSearchResults(const QStringList &makers_readers,
                                      const QStringList &all_devices);

// A reader's network settings as the configuration dialog shows them.
struct ReaderNetworkSettings {
  int mode = -1;  // 0 DHCP, 1 fixed address, -1 not known (the reader did not answer)
  QString address;
  int port = 10001;
  QString device_name;
  QString mask;
  QString gateway;
};

// The fields for the four texts of KOVRA_GetLanConfig: an address text means a fixed address
// ("a.b.c.d-port"; port 10001 without "-"), an empty one DHCP; the name text "[NAME]-port" gives
// the device name and, in DHCP mode, the port.
ReaderNetworkSettings ParseReaderSettings(const QString &name, const QString &address,
                                          const QString &mask, const QString &gateway);

// The new address specification for KOVRA_SetLanConfig: "[NAME]-port" in DHCP mode (mode 0),
// otherwise the dotted address and "-port". A port of 0 leaves the reader's port as it is.
QString AddressSpecification(int mode, const QString &device_name, const QString &address,
                             int port);

// True for a dotted IPv4 address of four numbers 0-255 that is not 0.0.0.0.
bool IsUsableAddress(const QString &address);

}  // namespace quillmate::ui
