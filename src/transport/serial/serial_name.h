// Pure rules of the serial transport: which device a port name opens, and which line settings a
// baud argument asks for. No I/O here, so both are checked by plain tables.
#pragma once

#include <string>
#include <string_view>

namespace kovra {

// Where a serial port name leads.
struct SerialDevice {
  // use_d2xx false: the tty device to open ("/dev/ttyS2" for COM3, or the path as given).
  // use_d2xx true: the FTDI serial number for the vendor D2XX library.
  std::string device;
  bool use_d2xx = false;
};

// Normalises a port name:
//  - an absolute path opens as it is (/dev/ttyUSB0, /dev/pts/3, or a link elsewhere such as
//    /run/kv-reader), less a mark " [...]" at its end as the port list adds it
//    ("/dev/ttyACM0 [Ulo Virtual COM]"); the open takes it only when it is a terminal;
//  - otherwise an exact leading "\\.\" is skipped; "COM" in any letter case followed by a digit
//    1-9 names COM<n> by the run of digits there (anything after them, such as
//    " [Ulo Virtual COM]", is dropped), which is the tty /dev/ttyS<n-1> (COM1 is /dev/ttyS0);
//  - anything else (COM0, "AB12CD34") is an FTDI serial number: the name without the skipped
//    prefix, with use_d2xx true.
SerialDevice NormaliseSerialName(std::string_view name);

// Line settings of a serial port. parity is 'N' (none), 'E' (even) or 'O' (odd).
struct LineSettings {
  int baud = 0;
  char parity = 'N';
  int stop_bits = 1;
};

// Splits the baud argument of a port open: the baud rate is the argument rounded down to a
// multiple of 100; the remainder picks the framing: 0 = none/1 stop bit, 1 = even/1,
// 2 = odd/1, 3 = none/2 stop bits, anything else = none/1. 19201 gives 19200 even 1. A negative
// argument, which is no rate, gives a negative baud rate and none/1.
LineSettings LineSettingsFromBaudArgument(int argument);

}  // namespace kovra
