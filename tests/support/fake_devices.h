// Glue for the tests against stand-in vendor libraries (tests/hid, tests/d2xx, tests/bt): a
// simulated reader on its own pseudo-terminal, the device file a stand-in library reads its
// devices from, and what every such test asks the library and the CLI.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "kovra.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "support/cli_run.h"

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

// The names one of the library's list calls gives ("a\0b\0\0"), in their order.
inline std::vector<std::string> ListedPorts(int (*list)(char *buffer, int size)) {
  std::vector<char> buffer(8192);
  const int used = list(buffer.data(), static_cast<int>(buffer.size()));
  std::vector<std::string> names;
  for (int at = 0; at < used - 1;) {
    names.emplace_back(buffer.data() + at);
    at += static_cast<int>(names.back().size()) + 1;
  }
  return names;
}

// The version text of the reader on `handle`; empty when it does not answer.
inline std::string ReaderVersion(int handle) {
  unsigned char version[16] = {};
  const int length = KOVRA_GetVersion(handle, version, sizeof version);
  return length > 0 ? std::string(reinterpret_cast<char *>(version), length) : "";
}

// quillmate-cli as a production line uses it, with a settings folder of its own: a small job
// whose counting value starts at `value`, then one card written on `port` (--json). Returns the
// write's run; a job that could not be set fails the test.
inline CliRun WriteOneCardWithCli(const std::string &port, const std::string &value) {
  TempDir config;
  const CliRun job = RunCli({"--config", config.path(), "job", "set", "AppID=A1B2C3", "KeyAnzahl=1",
                             "Byteanzahl=8", "Zahlenformat=1", "AutoIncrement=1", "Wert=" + value});
  EXPECT_EQ(job.exit_code, 0) << job.err;
  return RunCli({"--config", config.path(), "--port", port, "--json", "write", "--count", "1"});
}

}  // namespace kovra_test
