// Opening the reader the operator chose: the port name built from the "Port" settings and the
// library's open-and-identify call, for every front end.
#pragma once

#include <QString>

#include "writer/settings_store.h"

namespace quillmate {

// The port name to open: "Name" with ":Adresse" appended for a bus address other than the first
// (a name that already holds a ':' keeps its own). Empty when no port was chosen.
QString ReaderPortName(const PortSettings &port);

struct OpenedReader {
  int handle = 0;        // the open port (> 0), or 0
  QString port_name;     // the name that was opened (or tried); empty when none was chosen
  int open_result = 0;   // KOVRA_OpenPort's result: the handle, or its negative failure code
  int link_failure = 0;  // why the link did not open (KOVRA_GetLinkFailure), for KOVRA_OPEN_FAILED
  bool ok() const { return handle > 0; }
};

// Why the reader did not open, for the operator: a missing device, one this user may not open
// (with the fix: group "dialout" or the program's udev rules), one another program holds, a name
// that is no serial device, or a link that opened but no reader answered. Empty when it opened.
QString OpenFailureText(const OpenedReader &reader);

// Opens and identifies the reader of `port` with its baud rate and timeout. Not ok with an empty
// port_name when no port was chosen; not ok with open_result when the library refused it.
OpenedReader OpenReader(const PortSettings &port);

}  // namespace quillmate
