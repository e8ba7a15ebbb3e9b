// Tells when a device that may be a reader arrives or leaves: a udev monitor on the tty, usb and
// hidraw subsystems, read on the Qt event loop. Without udev (a container without /run/udev) it
// stays silent and says so through Active().
#pragma once

#include <QObject>
#include <memory>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace quillmate {

class DeviceWatch : public QObject {
  Q_OBJECT

 public:
  explicit DeviceWatch(QObject *parent = nullptr);
  ~DeviceWatch() override;

  // True when the monitor is listening.
  bool Active() const { return monitor_ != nullptr; }

 signals:
  // A device of one of the subsystems was added or removed (several for one plug).
  void DevicesChanged();

 private:
  void OnReadable();

  udev *udev_ = nullptr;
  udev_monitor *monitor_ = nullptr;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quillmate
