// What an open reader says about itself: its version (device type and firmware), its name, and
// whether it can do what the writer needs. Shared by the window's title and the CLI's info.
#pragma once

#include <QByteArray>
#include <QString>

namespace quillmate {

struct ReaderIdentity {
  bool answered = false;  // the reader answered its version
  QString version;        // the 4 version characters, e.g. "A1B5"
  int device_type = 0;    // the first three version characters read as a hex number
  QString firmware;       // "FW V1.05" for the version character '5'
  QString device_name;    // at most 30 characters; "---" when the reader has none
  bool capable = false;   // the reader has the command set the writer needs
  bool usb = false;       // a HID or FTDI reader ("USB:" in the window's title)
};

// The firmware text of a version answer: "FW V%d.%02d" with major number 1 and the minor number
// from the fourth character (0-9 as 0-9, A-Z as 10-35, a-z as 36-61; any other character as 0).
// Empty when the answer is shorter than 4 characters.
QString FirmwareText(const QByteArray &version);

// The device type of a version answer: its first three characters as a hex number (0 when they
// are not hex digits or the answer is shorter).
int DeviceType(const QByteArray &version);

// Asks the reader on `handle` for its version, name and command set. answered false when it gave
// no version (the other fields are then empty). A Bluetooth adapter, whose search for its reader
// runs on with each command, is asked again until it answers, for at most 30 s.
ReaderIdentity IdentifyReader(int handle);

}  // namespace quillmate
