// Glue for the tests against stand-in vendor libraries (tests/hid, tests/d2xx): a simulated
// reader on its own pseudo-terminal, and the device file a stand-in library reads its devices
// from.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "sim/pty_server.h"
#include "sim/reader.h"

namespace kovra_test {

// A simulated reader served on its own pseudo-terminal.
class SimOnPty {
 public:
  explicit SimOnPty(int family = 0) : reader_(Config(family)), server_(reader_) {
    std::string error;
    if (!server_.Start(&error)) ADD_FAILURE() << "pty server: " << error;
  }
  std::string path() const { return server_.Path(); }
  kovra_sim::SimReader &reader() { return reader_; }

 private:
  static kovra_sim::SimReaderConfig Config(int family) {
    kovra_sim::SimReaderConfig config;
    config.family = family;
    config.version = "1234";
    return config;
  }
  kovra_sim::SimReader reader_;
  kovra_sim::PtyServer server_;
};

// The stand-in library's device list for one test, in a folder of its own, named to the library
// by the environment variable `variable`; "{log}" in the lines stands for the file the library
// logs what is written to.
class FakeDevices {
 public:
  explicit FakeDevices(std::string lines, const char *variable = "FAKE_HIDAPI_CONFIG")
      : variable_(variable) {
    char pattern[] = "/tmp/kovra-fake-XXXXXX";
    dir_ = mkdtemp(pattern);
    for (size_t at; (at = lines.find("{log}")) != std::string::npos;) lines.replace(at, 5, Log());
    std::ofstream(dir_ + "/devices") << lines;
    setenv(variable_, (dir_ + "/devices").c_str(), 1);
  }
  ~FakeDevices() {
    unsetenv(variable_);
    std::string command = "rm -rf " + dir_;
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir_;
  }
  FakeDevices(const FakeDevices &) = delete;
  FakeDevices &operator=(const FakeDevices &) = delete;
  std::string Log() const { return dir_ + "/reports"; }
  std::vector<std::string> Reports() const {
    std::vector<std::string> reports;
    std::ifstream in(Log());
    for (std::string line; std::getline(in, line);) reports.push_back(line);
    return reports;
  }

 private:
  const char *variable_;
  std::string dir_;
};

}  // namespace kovra_test
