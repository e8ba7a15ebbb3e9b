// The device list of the stand-in vendor libraries (tests/d2xx, tests/bt), read from the file an
// environment variable names, anew on every call that lists or opens:
//   device serial=3105-0000002 sim=/dev/pts/7
// with these keys besides:
//   count=N          N such devices; their serial numbers get "-1", "-2", ... appended
//   unplug_after=N   after N writes the device is gone: every call on it fails
//   open_fails=1     opening it fails
//   fails=NAME       the vendor function NAME fails on it (e.g. SI_SetBaudRate)
// Every other line "NAME N" is a setting of the stand-in (e.g. "report_count 40"); blank lines,
// lines starting with '#' and unknown keys are skipped.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kovra_test {

struct FakeDevice {
  std::string serial;
  std::string sim;  // the simulator's pseudo-terminal that carries its bytes; empty: none
  int unplug_after = 0;
  bool open_fails = false;
  std::string fails;  // the name of a vendor function that fails on this device
};

struct FakeDeviceList {
  std::vector<FakeDevice> devices;
  std::map<std::string, long> settings;

  long Setting(const std::string &name, long otherwise) const {
    const auto found = settings.find(name);
    return found == settings.end() ? otherwise : found->second;
  }
};

inline FakeDeviceList ReadFakeDeviceList(const char *variable) {
  FakeDeviceList list;
  const char *path = std::getenv(variable);
  if (!path) return list;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind.empty() || kind[0] == '#') continue;
    if (kind != "device") {
      long value = 0;
      if (words >> value) list.settings[kind] = value;
      continue;
    }
    FakeDevice device;
    int count = 1;
    for (std::string pair; words >> pair;) {
      const size_t equals = pair.find('=');
      if (equals == std::string::npos) continue;
      const std::string key = pair.substr(0, equals);
      const std::string value = pair.substr(equals + 1);
      if (key == "serial") device.serial = value;
      if (key == "sim") device.sim = value;
      if (key == "count") count = std::atoi(value.c_str());
      if (key == "unplug_after") device.unplug_after = std::atoi(value.c_str());
      if (key == "open_fails") device.open_fails = value == "1";
      if (key == "fails") device.fails = value;
    }
    for (int i = 1; i <= count; ++i) {
      FakeDevice copy = device;
      if (count > 1) copy.serial += "-" + std::to_string(i);
      list.devices.push_back(copy);
    }
  }
  return list;
}

}  // namespace kovra_test
