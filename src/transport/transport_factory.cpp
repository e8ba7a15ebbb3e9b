#include "transport/transport_factory.h"

#include <utility>

#include "kovra.h"
#include "transport/hid_port.h"
#include "transport/lan_link.h"
#include "transport/link_failure.h"
#include "transport/serial_port.h"

namespace kovra {
namespace {

OpenedTransport Opened(std::unique_ptr<Transport> transport, HandlePool &handles) {
  if (!transport) return {};
  return {std::move(transport), &handles};
}

}  // namespace

OpenedTransport OpenTransport(const PortName &name, int baud_argument, ReceiveSink &sink) {
  switch (RouteOf(name.name)) {
    case PortRoute::kSerial:
      return Opened(OpenSerialTransport(name.name, baud_argument, sink), HandlePool::Serial());
    case PortRoute::kHid: {
      bool refused_start = false;
      OpenedTransport opened =
          Opened(OpenHidTransport(name.name, refused_start), HandlePool::Hid());
      opened.refused_start = refused_start;
      return opened;
    }
    case PortRoute::kLan:
      return Opened(OpenLanTransport(name.name, sink), HandlePool::Lan());
    case PortRoute::kBluetooth:  // no Bluetooth adapter transport on this build yet
    case PortRoute::kBluetoothW:
      SetLinkFailure(KOVRA_LINK_NOT_SUPPORTED);
      return {};
  }
  SetLinkFailure(KOVRA_LINK_NOT_SUPPORTED);
  return {};
}

}  // namespace kovra
