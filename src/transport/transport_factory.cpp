// Picks and opens the link a port name leads to.
#include "transport/transport_factory.h"

#include <utility>

#include "kovra.h"
#include "transport/bluetooth/bt_adapter.h"
#include "transport/ftdi/d2xx_port.h"
#include "transport/hid/hid_port.h"
#include "transport/lan/lan_link.h"
#include "transport/link_failure.h"
#include "transport/pcsc/pcsc_link.h"
#include "transport/serial/serial_name.h"
#include "transport/serial/serial_port.h"

namespace kovra {
namespace {

OpenedTransport Opened(std::unique_ptr<Transport> transport, HandlePool &handles) {
  if (!transport) return {};
  return {std::move(transport), &handles};
}

}  // namespace

OpenedTransport OpenTransport(const PortName &name, int baud_argument, ReceiveSink &sink) {
  switch (RouteOf(name.name)) {
    case PortRoute::kSerial: {
      // An FTDI serial number instead of a device goes through the vendor's D2XX library.
      const SerialDevice device = NormaliseSerialName(name.name);
      if (device.use_d2xx) {
        return Opened(OpenD2xxTransport(device.device, baud_argument, sink), HandlePool::Serial());
      }
      return Opened(OpenSerialTransport(name.name, baud_argument, sink), HandlePool::Serial());
    }
    case PortRoute::kHid: {
      bool refused_start = false;
      OpenedTransport opened =
          Opened(OpenHidTransport(name.name, refused_start), HandlePool::Hid());
      opened.refused_start = refused_start;
      return opened;
    }
    case PortRoute::kLan:
      return Opened(OpenLanTransport(name.name, sink), HandlePool::Lan());
    case PortRoute::kBluetooth:
      return Opened(OpenBtTransport(name.name), HandlePool::Serial());
    case PortRoute::kPcsc:
      return Opened(OpenPcscTransport(name.name), HandlePool::Pcsc());
    case PortRoute::kBluetoothW:
      SetLinkFailure(KOVRA_LINK_NOT_SUPPORTED);
      return {};
  }
  SetLinkFailure(KOVRA_LINK_NOT_SUPPORTED);
  return {};
}

}  // namespace kovra
