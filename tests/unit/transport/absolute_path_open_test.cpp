// A serial reader named by an absolute path outside /dev: a link that udev rules, socat or a test
// made to the terminal. The name goes to the serial transport whatever its folders are called,
// and the open takes it only when it leads to a terminal.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "kovra.h"
#include "sim/pty_server.h"
#include "sim/reader.h"

namespace {

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/kovra-link-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;
  const std::filesystem::path &path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A simulated reader on its own pseudo-terminal.
class SimOnPty {
 public:
  SimOnPty() : server_(reader_) {
    std::string error;
    if (!server_.Start(&error)) ADD_FAILURE() << "pty server: " << error;
  }
  std::string path() const { return server_.Path(); }

 private:
  kovra_sim::SimReader reader_;
  kovra_sim::PtyServer server_;
};

TEST(AbsolutePathOpen, AReaderBehindALinkOutsideDevOpensWithItsBusAddressAndBaud) {
  SimOnPty sim;
  TempFolder folder;
  // Folder names that would route elsewhere if they were not part of a path.
  const std::filesystem::path dir = folder.path() / "HID.BT.1.2";
  std::filesystem::create_directories(dir);
  const std::filesystem::path link = dir / "reader";
  std::filesystem::create_symlink(sim.path(), link);
  for (const std::string &name : {link.string(), link.string() + ":1"}) {
    const int handle = KOVRA_OpenPort(name.c_str(), 19200, 1000);
    ASSERT_GT(handle, 0) << name << " link failure " << KOVRA_GetLinkFailure();
    unsigned char version[8] = {};
    EXPECT_EQ(KOVRA_GetVersion(handle, version, sizeof version), 4) << name;
    EXPECT_EQ(KOVRA_ClosePort(handle), 0);
  }
}

TEST(AbsolutePathOpen, APathThatLeadsToNoTerminalIsRefused) {
  TempFolder folder;
  const std::filesystem::path file = folder.path() / "data";
  std::ofstream(file) << "not a line\n";
  const std::filesystem::path link = folder.path() / "reader";
  std::filesystem::create_symlink(file, link);
  for (const std::filesystem::path &path : {file, link, folder.path()}) {
    EXPECT_EQ(KOVRA_OpenPort(path.c_str(), 19200, 1000), KOVRA_OPEN_FAILED) << path;
    EXPECT_EQ(KOVRA_GetLinkFailure(), KOVRA_LINK_NOT_A_TERMINAL) << path;
  }
  std::ifstream in(file);
  std::string contents;
  std::getline(in, contents);
  EXPECT_EQ(contents, "not a line");  // nothing was written to it
  EXPECT_EQ(KOVRA_OpenPort((folder.path() / "missing").c_str(), 19200, 1000), KOVRA_OPEN_FAILED);
  EXPECT_EQ(KOVRA_GetLinkFailure(), KOVRA_LINK_NO_DEVICE);
}

}  // namespace
