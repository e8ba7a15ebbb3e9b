// The exported functions that find readers before any port is opened.
#include "api/api_guard.h"
#include "api/name_list.h"
#include "kovra.h"
#include "transport/bluetooth/bt_adapter.h"
#include "transport/pcsc/pcsc_link.h"
#include "transport/serial/serial_discovery.h"
#include "transport/usb_drivers.h"
#include "transport/usb_readers.h"

using kovra::Guarded;

namespace {

constexpr char kSerialByIdDir[] = "/dev/serial/by-id";
// The kernel's driver for our virtual COM readers (CDC ACM).
constexpr char kVirtualComModule[] = "cdc_acm";

}  // namespace

extern "C" {

KOVRA_API int KOVRA_ListComPorts(char *buffer, int size) {
  return Guarded(0, [&] {
    return kovra::WriteNameList(
        kovra::SerialPortListNames(kovra::EnumerateSerialPorts(kSerialByIdDir)), buffer, size);
  });
}

KOVRA_API int KOVRA_ListUsbPorts(char *buffer, int size) {
  return Guarded(0, [&] {
    return kovra::WriteNameList(kovra::UsbReaderNames(kovra::UsbReaderSources()), buffer, size);
  });
}

KOVRA_API int KOVRA_ListBtPorts(char *buffer, int size) {
  return Guarded(0, [&] {
    return kovra::WriteNameList(kovra::BtAdapterNames(kovra::CUSBXpressBinding::Process()), buffer,
                                size);
  });
}

KOVRA_API int KOVRA_ListPcscPorts(char *buffer, int size) {
  return Guarded(0, [&] { return kovra::WriteNameList(kovra::PcscPortNames(), buffer, size); });
}

KOVRA_API int KOVRA_GetMissingDrivers(void) {
  return Guarded(0, [] {
    return kovra::MissingDriverFlags(kovra::EnumerateUsbDeviceDrivers(),
                                     kovra::D2xxServesFtdiReaders());
  });
}

KOVRA_API int KOVRA_IsVirtualComDriverInstalled(void) {
  return Guarded(0, [] {
    return kovra::KernelModuleAvailable(kVirtualComModule, "/sys", kovra::RunningKernelModulesDir())
               ? 1
               : 0;
  });
}

}  // extern "C"
