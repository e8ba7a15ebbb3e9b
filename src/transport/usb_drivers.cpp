// Whether our USB readers have their drivers (a kernel driver, or for FTDI readers the vendor's
// D2XX library).
#include "transport/usb_drivers.h"

#include <sys/stat.h>
#include <sys/utsname.h>

#include <fstream>

#include "kovra.h"
#include "transport/ftdi/d2xx_binding.h"
#include "transport/udev_ref.h"
#include "transport/usb_ids.h"

namespace kovra {
namespace {

std::string Normalised(std::string_view name) {
  std::string text(name);
  for (char &c : text) {
    if (c == '-') c = '_';
  }
  return text;
}

// The module name of a path in modules.builtin or modules.dep ("kernel/drivers/usb/class/
// cdc-acm.ko.xz:" -> "cdc_acm").
std::string ModuleOfPath(std::string_view line) {
  line = line.substr(0, line.find(':'));
  const size_t slash = line.rfind('/');
  if (slash != std::string_view::npos) line.remove_prefix(slash + 1);
  const size_t ko = line.find(".ko");
  if (ko == std::string_view::npos) return "";
  return Normalised(line.substr(0, ko));
}

bool ListedIn(const std::string &file, const std::string &module) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (ModuleOfPath(line) == module) return true;
  }
  return false;
}

}  // namespace

int MissingDriverFlags(const std::vector<UsbDeviceDriver> &devices, bool d2xx_serves_ftdi) {
  int flags = 0;
  for (const UsbDeviceDriver &device : devices) {
    if (device.has_driver) continue;
    if (device.vendor_id == kVirtualComVendorId && device.product_id == kVirtualComProductId) {
      flags |= KOVRA_MISSING_VIRTUAL_COM_DRIVER;
    } else if (device.vendor_id == kFtdiVendorId && device.product_id == kFtdiReaderProductId &&
               !d2xx_serves_ftdi) {
      flags |= KOVRA_MISSING_FTDI_DRIVER;
    }
  }
  return flags;
}

bool D2xxServesFtdiReaders() {
  d2xx::DWORD count = 0;
  return CFTD2xxPort::Process().CreateDeviceInfoList(&count) == d2xx::kOk;
}

std::vector<UsbDeviceDriver> EnumerateUsbDeviceDrivers() {
  std::vector<UsbDeviceDriver> devices;
  // Interfaces come after their device in sysfs order, but that is not promised: collect the
  // devices first, then mark those with a bound interface.
  std::vector<std::string> syspaths;
  std::vector<std::string> bound_parents;
  ForEachUdevDevice("usb", [&](udev_device *device) {
    const char *devtype = udev_device_get_devtype(device);
    if (devtype == nullptr) return;
    const std::string type = devtype;
    if (type == "usb_device") {
      UsbDeviceDriver found;
      found.vendor_id =
          static_cast<uint16_t>(UsbIdFromText(udev_device_get_sysattr_value(device, "idVendor")));
      found.product_id =
          static_cast<uint16_t>(UsbIdFromText(udev_device_get_sysattr_value(device, "idProduct")));
      devices.push_back(found);
      syspaths.push_back(udev_device_get_syspath(device));
    } else if (type == "usb_interface" && udev_device_get_driver(device) != nullptr) {
      if (udev_device *parent = udev_device_get_parent(device)) {
        bound_parents.push_back(udev_device_get_syspath(parent));
      }
    }
  });
  for (size_t i = 0; i < devices.size(); ++i) {
    for (const std::string &parent : bound_parents) {
      if (parent == syspaths[i]) devices[i].has_driver = true;
    }
  }
  return devices;
}

bool KernelModuleAvailable(std::string_view module, const std::string &sys_root,
                           const std::string &modules_dir) {
  const std::string name = Normalised(module);
  struct stat info {};
  if (::stat((sys_root + "/module/" + name).c_str(), &info) == 0) return true;
  return ListedIn(modules_dir + "/modules.builtin", name) ||
         ListedIn(modules_dir + "/modules.dep", name);
}

std::string RunningKernelModulesDir() {
  utsname system{};
  if (::uname(&system) != 0) return "/lib/modules";
  return std::string("/lib/modules/") + system.release;
}

}  // namespace kovra
