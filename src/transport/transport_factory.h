// Picks and opens the link a port name leads to. Each kind of link is one folder below this one
// behind the Transport interface (reader/transport.h); a new kind adds its folder and its line in
// OpenTransport.
#pragma once

#include <memory>

#include "reader/handle_pool.h"
#include "reader/port_name.h"
#include "reader/transport.h"

namespace kovra {

// A transport that is open, and the pool its port takes its handle number from.
struct OpenedTransport {
  std::unique_ptr<Transport> transport;  // null when nothing was opened
  HandlePool *handles = nullptr;         // set whenever `transport` is
  bool refused_start = false;            // a HID reader opened but refused its start report
};

// Opens the transport for a port name by its route (RouteOf): a serial name (an absolute path,
// a COM name) opens the serial transport with the line settings of `baud_argument` (see
// OpenSerialTransport), an FTDI serial number the D2XX transport (OpenD2xxTransport), both
// numbered from HandlePool::Serial(); a HID reader name opens and starts that reader
// (OpenHidTransport), numbered from HandlePool::Hid(); a network name connects to the reader
// (OpenLanTransport), numbered from HandlePool::Lan(); a Bluetooth name ("... BT") opens the
// Bluetooth adapter (OpenBtTransport), numbered from HandlePool::Serial(); a PC/SC reader's name
// ("PCSC: <reader>") opens a context with the PC/SC daemon (OpenPcscTransport), numbered from
// HandlePool::Pcsc(); a "BTW" name never has
// a transport. `sink` is where the transport delivers what it receives (the port that will own
// it); it must outlive the transport. Result: the open transport and its pool, or an empty result
// when the name leads to no transport or the link does not open.
OpenedTransport OpenTransport(const PortName &name, int baud_argument, ReceiveSink &sink);

}  // namespace kovra
