// A stand-in for hidapi's hidraw library, built with its soname (libhidapi-hidraw.so.0) and its
// exported functions, so the library under test loads it through its ordinary dlopen path. The
// devices it presents come from the file named by $FAKE_HIDAPI_CONFIG, read anew by every
// hid_enumerate and hid_open_path; a device with a "sim" carries its reports to a simulated
// reader's pseudo-terminal, playing the reader's USB side.
//
// The file holds one line per device (blank lines and lines starting with '#' are skipped):
//   device vid=2e3c pid=0101 serial=3105-0000001 sim=/dev/pts/7 input=65 output=65
// and these keys besides:
//   serial=-            no serial number string (null); %HH and %{HHHHHH} give any code point
//   numbered=1          the device numbers its reports (ID 1)
//   descriptor=none     hid_get_report_descriptor fails for it
//   count=N             N such devices; their serial numbers get "-1", "-2", ... appended
//   unplug_after=N      after N frame reports the device is gone: reads and writes fail
//   refuse_control=1    the control report is not taken (hid_write fails)
//   open_fails=1        hid_open_path gives null
//   log=PATH            every report written is appended to PATH as a line of hex
// A line "enumerate null" makes hid_enumerate return null.
//
// Built without FAKE_HIDAPI_HAS_READ it lacks hid_read_timeout, as a broken install would.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "transport/hid/hidapi_abi.h"

namespace {

struct FakeDevice {
  unsigned short vid = 0;
  unsigned short pid = 0;
  bool has_serial = true;
  std::wstring serial;
  std::string sim;
  size_t input = 9;
  size_t output = 9;
  bool numbered = false;
  bool descriptor = true;
  int unplug_after = 0;
  bool refuse_control = false;
  bool open_fails = false;
  std::string log;
};

struct Config {
  bool enumerate_null = false;
  std::vector<FakeDevice> devices;
};

std::wstring Decode(const std::string &text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '{') {
      const size_t end = text.find('}', i);
      out +=
          static_cast<wchar_t>(std::strtoul(text.substr(i + 2, end - i - 2).c_str(), nullptr, 16));
      i = end;
    } else if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<wchar_t>(std::strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    }
  }
  return out;
}

Config ReadConfig() {
  Config config;
  const char *file = std::getenv("FAKE_HIDAPI_CONFIG");
  if (file == nullptr) return config;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "enumerate") config.enumerate_null = true;
    if (kind != "device") continue;
    FakeDevice device;
    int count = 1;
    std::string word;
    while (words >> word) {
      const size_t eq = word.find('=');
      const std::string key = word.substr(0, eq);
      const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
      const auto number = [&] { return std::strtoul(value.c_str(), nullptr, 0); };
      if (key == "vid")
        device.vid = static_cast<unsigned short>(std::strtoul(value.c_str(), nullptr, 16));
      if (key == "pid")
        device.pid = static_cast<unsigned short>(std::strtoul(value.c_str(), nullptr, 16));
      if (key == "serial") {
        device.has_serial = value != "-";
        device.serial = Decode(value);
      }
      if (key == "sim") device.sim = value;
      if (key == "input") device.input = number();
      if (key == "output") device.output = number();
      if (key == "numbered") device.numbered = number() != 0;
      if (key == "descriptor") device.descriptor = value != "none";
      if (key == "count") count = static_cast<int>(number());
      if (key == "unplug_after") device.unplug_after = static_cast<int>(number());
      if (key == "refuse_control") device.refuse_control = number() != 0;
      if (key == "open_fails") device.open_fails = number() != 0;
      if (key == "log") device.log = value;
    }
    for (int i = 1; i <= count; ++i) {
      FakeDevice copy = device;
      if (count > 1) copy.serial += L"-" + std::to_wstring(i);
      config.devices.push_back(copy);
    }
  }
  return config;
}

wchar_t *CopyWide(const std::wstring &text) {
  auto *copy = static_cast<wchar_t *>(std::calloc(text.size() + 1, sizeof(wchar_t)));
  std::wmemcpy(copy, text.data(), text.size());
  return copy;
}

}  // namespace

struct hid_device_ {
  FakeDevice config;
  int fd = -1;
  int frames_written = 0;
  bool gone = false;
};

extern "C" {

__attribute__((visibility("default"))) int hid_init() {
  return 0;
}
__attribute__((visibility("default"))) int hid_exit() {
  return 0;
}

__attribute__((visibility("default"))) hid_device_info *hid_enumerate(unsigned short vid,
                                                                      unsigned short pid) {
  const Config config = ReadConfig();
  if (config.enumerate_null) return nullptr;
  hid_device_info *first = nullptr;
  hid_device_info **next = &first;
  for (size_t i = 0; i < config.devices.size(); ++i) {
    const FakeDevice &device = config.devices[i];
    if ((vid != 0 && vid != device.vid) || (pid != 0 && pid != device.pid)) continue;
    auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(("fake:" + std::to_string(i)).c_str());
    info->vendor_id = device.vid;
    info->product_id = device.pid;
    info->serial_number = device.has_serial ? CopyWide(device.serial) : nullptr;
    info->product_string = CopyWide(L"Fake reader");
    *next = info;
    next = &info->next;
  }
  return first;
}

__attribute__((visibility("default"))) void hid_free_enumeration(hid_device_info *devices) {
  while (devices != nullptr) {
    hid_device_info *next = devices->next;
    std::free(devices->path);
    std::free(devices->serial_number);
    std::free(devices->product_string);
    std::free(devices);
    devices = next;
  }
}

__attribute__((visibility("default"))) hid_device *hid_open_path(const char *path) {
  const Config config = ReadConfig();
  if (std::strncmp(path, "fake:", 5) != 0) return nullptr;
  const size_t index = std::strtoul(path + 5, nullptr, 10);
  if (index >= config.devices.size() || config.devices[index].open_fails) return nullptr;
  auto *device = new hid_device_;
  device->config = config.devices[index];
  if (!device->config.sim.empty()) {
    device->fd = ::open(device->config.sim.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device->fd < 0) {
      delete device;
      return nullptr;
    }
    termios settings{};
    if (::tcgetattr(device->fd, &settings) == 0) {
      ::cfmakeraw(&settings);
      ::tcsetattr(device->fd, TCSANOW, &settings);
    }
  }
  return device;
}

__attribute__((visibility("default"))) void hid_close(hid_device *device) {
  if (device == nullptr) return;
  if (device->fd >= 0) ::close(device->fd);
  delete device;
}

__attribute__((visibility("default"))) int hid_write(hid_device *device, const unsigned char *data,
                                                     size_t length) {
  if (device == nullptr || device->gone || length < 2) return -1;
  const bool control = data[1] == 0x82;
  if (control && device->config.refuse_control) return -1;
  if (!device->config.log.empty()) {
    if (FILE *log = std::fopen(device->config.log.c_str(), "a")) {
      for (size_t i = 0; i < length; ++i) std::fprintf(log, "%02X", data[i]);
      std::fputc('\n', log);
      std::fclose(log);
    }
  }
  if (control) return static_cast<int>(length);
  const size_t n = std::min<size_t>(data[1], length - 2);
  for (size_t done = 0; device->fd >= 0 && done < n;) {
    const ssize_t wrote = ::write(device->fd, data + 2 + done, n - done);
    if (wrote < 0 && errno != EAGAIN && errno != EINTR) return -1;
    if (wrote > 0) done += static_cast<size_t>(wrote);
  }
  if (device->config.unplug_after > 0 && ++device->frames_written >= device->config.unplug_after) {
    device->gone = true;
  }
  return static_cast<int>(length);
}

#ifdef FAKE_HIDAPI_HAS_READ
__attribute__((visibility("default"))) int hid_read_timeout(hid_device *device, unsigned char *data,
                                                            size_t length, int milliseconds) {
  if (device == nullptr || device->gone) return -1;
  if (device->fd < 0) return 0;
  pollfd wait{device->fd, POLLIN, 0};
  if (::poll(&wait, 1, milliseconds) <= 0) return 0;
  if ((wait.revents & POLLIN) == 0) return -1;  // hung up
  const size_t header = device->config.numbered ? 1 : 0;
  // hidraw leaves the report ID out of the reports of a device that does not number them.
  const size_t report_length =
      device->config.numbered ? device->config.input : device->config.input - 1;
  std::vector<unsigned char> report(report_length, 0);
  const size_t room = std::min<size_t>(report_length - header - 1, 255);
  const ssize_t got = ::read(device->fd, report.data() + header + 1, room);
  if (got < 0) return errno == EAGAIN ? 0 : -1;
  if (got == 0) return -1;
  if (device->config.numbered) report[0] = 1;
  report[header] = static_cast<unsigned char>(got);
  const size_t copied = std::min(length, report.size());
  std::memcpy(data, report.data(), copied);
  return static_cast<int>(copied);
}
#endif

__attribute__((visibility("default"))) const wchar_t *hid_error(hid_device *) {
  return L"fake hidapi error";
}

// As hidapi 0.14 has it: a descriptor of 8-bit fields as long as the configured reports.
__attribute__((visibility("default"))) int hid_get_report_descriptor(hid_device *device,
                                                                     unsigned char *buffer,
                                                                     size_t size) {
  if (device == nullptr || !device->config.descriptor) return -1;
  std::vector<unsigned char> descriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
  if (device->config.numbered) descriptor.insert(descriptor.end(), {0x85, 0x01});
  descriptor.insert(descriptor.end(), {0x75, 0x08});
  const auto items = [&](size_t length, unsigned char main) {
    if (length < 2) return;
    const size_t count = length - 1;
    descriptor.insert(descriptor.end(), {0x96, static_cast<unsigned char>(count & 0xFF),
                                         static_cast<unsigned char>(count >> 8), main, 0x02});
  };
  items(device->config.input, 0x81);
  items(device->config.output, 0x91);
  descriptor.push_back(0xC0);
  if (descriptor.size() > size) return -1;
  std::memcpy(buffer, descriptor.data(), descriptor.size());
  return static_cast<int>(descriptor.size());
}

}  // extern "C"
