// Tells when a device that may be a reader arrives or leaves, from a udev monitor on the event
// loop.
#include "writer/reader/device_watch.h"

#include <libudev.h>

#include <QSocketNotifier>
#include <cstring>

namespace quillmate {

DeviceWatch::DeviceWatch(QObject *parent) : QObject(parent) {
  udev_ = udev_new();
  if (!udev_) return;
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (!monitor_) return;
  for (const char *subsystem : {"tty", "usb", "hidraw"}) {
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr);
  }
  if (udev_monitor_enable_receiving(monitor_) < 0) {
    udev_monitor_unref(monitor_);
    monitor_ = nullptr;
    return;
  }
  notifier_ =
      std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &DeviceWatch::OnReadable);
}

DeviceWatch::~DeviceWatch() {
  notifier_.reset();
  if (monitor_) udev_monitor_unref(monitor_);
  if (udev_) udev_unref(udev_);
}

void DeviceWatch::OnReadable() {
  bool changed = false;
  // Takes every event that is waiting; the monitor's socket does not block.
  while (udev_device *device = udev_monitor_receive_device(monitor_)) {
    const char *action = udev_device_get_action(device);
    if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0)) {
      changed = true;
    }
    udev_device_unref(device);
  }
  if (changed) emit DevicesChanged();
}

}  // namespace quillmate
