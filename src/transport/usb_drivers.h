// Whether our USB readers have their drivers (a kernel driver, or for FTDI readers the vendor's
// D2XX library): KOVRA_GetMissingDrivers and KOVRA_IsVirtualComDriverInstalled.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovra {

// One USB device and whether any of its interfaces has a driver bound.
struct UsbDeviceDriver {
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
  bool has_driver = false;
};

// The KOVRA_MISSING_* flags for a set of devices: KOVRA_MISSING_VIRTUAL_COM_DRIVER for a virtual
// COM reader (kVirtualComVendorId, kVirtualComProductId) without a driver,
// KOVRA_MISSING_FTDI_DRIVER for an FTDI reader (kFtdiVendorId, kFtdiReaderProductId) without one
// while `d2xx_serves_ftdi` is false. The D2XX library drives FTDI readers from user space, with
// ftdi_sio unbound from them on purpose: where it serves them, no kernel driver is missing.
int MissingDriverFlags(const std::vector<UsbDeviceDriver> &devices, bool d2xx_serves_ftdi);

// True when the vendor's D2XX library (CFTD2xxPort::Process) is installed and answers its device
// list, so that it serves FTDI readers that have no kernel driver.
bool D2xxServesFtdiReaders();

// The USB devices libudev knows, each with whether one of its interfaces has a driver. Empty
// when libudev cannot be used.
std::vector<UsbDeviceDriver> EnumerateUsbDeviceDrivers();

// True when the kernel module `module` ("cdc_acm") can serve devices: it is loaded
// (<sys_root>/module/<module>), built in (named in <modules_dir>/modules.builtin) or installed
// as a loadable module (named in <modules_dir>/modules.dep, compressed or not). '-' and '_' count
// as the same in module names, as the kernel takes them.
bool KernelModuleAvailable(std::string_view module, const std::string &sys_root,
                           const std::string &modules_dir);

// The modules folder of the running kernel: /lib/modules/<release>.
std::string RunningKernelModulesDir();

}  // namespace kovra
