// Every open that fails names its reason (KOVRA_GetLinkFailure), whatever the link and whichever
// step failed: USB links through the stand-in vendor libraries at the dlopen seam, serial lines
// on pseudo-terminals, network readers on loopback.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "kovra.h"
#include "support/fake_devices.h"

namespace {

// Before the library's first use of each vendor library. The PC/SC client library is the real
// one, pointed at a daemon socket that is not there (never the machine's own daemon).
const bool kStandIns = setenv("KOVRA_HIDAPI_LIBRARY", FAKE_HIDAPI_PATH, 0) == 0 &&
                       setenv("KOVRA_D2XX_LIBRARY", FAKE_D2XX_PATH, 0) == 0 &&
                       setenv("KOVRA_SIUSBXP_LIBRARY", FAKE_SIUSBXP_PATH, 0) == 0 &&
                       setenv("PCSCLITE_CSOCK_NAME", "/nonexistent/kovra-no-pcscd.comm", 1) == 0;

// A pseudo-terminal's device, another program's lock on it, or none.
class Pty {
 public:
  Pty() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) path_ = ptsname(master_);
  }
  ~Pty() {
    if (holder_ >= 0) close(holder_);
    if (master_ >= 0) close(master_);
  }
  Pty(const Pty &) = delete;
  Pty &operator=(const Pty &) = delete;
  const std::string &path() const { return path_; }
  // Takes the lock that every exclusive open of the line asks for, as another program would.
  bool Hold() {
    holder_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    return holder_ >= 0 && flock(holder_, LOCK_EX | LOCK_NB) == 0;
  }

 private:
  int master_;
  int holder_ = -1;
  std::string path_;
};

// A loopback port on which nothing listens.
int ClosedLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
    ADD_FAILURE() << "no loopback port";
  }
  close(fd);
  return ntohs(address.sin_port);
}

// Without a PC/SC daemon the list is empty at once, in the list convention.
TEST(LinkFailure, WithoutAPcscDaemonThePcscListIsEmpty) {
  ASSERT_TRUE(kStandIns);
  char names[64] = {'x', 'x'};
  EXPECT_EQ(KOVRA_ListPcscPorts(names, sizeof names), 1);
  EXPECT_EQ(names[0], '\0');
  EXPECT_EQ(KOVRA_ListPcscPorts(nullptr, 64), 0);
}

TEST(LinkFailure, EveryFailedOpenNamesItsReasonWhateverTheLinkAndTheStep) {
  ASSERT_TRUE(kStandIns);
  Pty held;
  ASSERT_TRUE(held.Hold());
  const std::string refused = "127.0.0.1-" + std::to_string(ClosedLoopbackPort());
  struct Case {
    const char *link;
    const char *step;
    const char *variable;  // the stand-in's device list, or none
    std::string devices;
    std::string name;
    int failure;
  };
  const std::string bridge = "device serial=ULO-PN7341#0001 sim=/dev/null ";
  const Case cases[] = {
      {"serial", "no such device", nullptr, "", "/dev/kovra-no-such-tty", KOVRA_LINK_NO_DEVICE},
      {"serial", "no terminal", nullptr, "", "/dev/null", KOVRA_LINK_NOT_A_TERMINAL},
      {"serial", "held by another program", nullptr, "", held.path(), KOVRA_LINK_BUSY},
      {"FTDI D2XX", "no such device", "FAKE_D2XX_CONFIG", "", "3105-0000009", KOVRA_LINK_NO_DEVICE},
      {"FTDI D2XX", "open", "FAKE_D2XX_CONFIG", "device serial=3105-0000009 open_fails=1\n",
       "3105-0000009", KOVRA_LINK_NO_DEVICE},
      {"HID", "no such device", "FAKE_HIDAPI_CONFIG", "", "3105-0000009 HID", KOVRA_LINK_NO_DEVICE},
      {"HID", "open", "FAKE_HIDAPI_CONFIG",
       "device vid=2e3c pid=0101 serial=3105-0000009 open_fails=1\n", "3105-0000009 HID",
       KOVRA_LINK_NO_PERMISSION},
      {"LAN", "connection refused", nullptr, "", refused, KOVRA_LINK_NO_DEVICE},
      {"Bluetooth bridge", "no such adapter", "FAKE_SIUSBXP_CONFIG", "", "ULO-PN7341#0009 BT",
       KOVRA_LINK_NO_DEVICE},
      {"Bluetooth bridge", "SI_Open", "FAKE_SIUSBXP_CONFIG", bridge + "open_fails=1\n",
       "ULO-PN7341#0001 BT", KOVRA_LINK_NO_DEVICE},
      {"Bluetooth bridge", "SI_SetBaudRate", "FAKE_SIUSBXP_CONFIG",
       bridge + "fails=SI_SetBaudRate\n", "ULO-PN7341#0001 BT", KOVRA_LINK_OTHER},
      {"Bluetooth bridge", "SI_SetLineControl", "FAKE_SIUSBXP_CONFIG",
       bridge + "fails=SI_SetLineControl\n", "ULO-PN7341#0001 BT", KOVRA_LINK_OTHER},
      {"Bluetooth bridge", "SI_SetFlowControl", "FAKE_SIUSBXP_CONFIG",
       bridge + "fails=SI_SetFlowControl\n", "ULO-PN7341#0001 BT", KOVRA_LINK_OTHER},
      {"Bluetooth bridge", "SI_FlushBuffers", "FAKE_SIUSBXP_CONFIG",
       bridge + "fails=SI_FlushBuffers\n", "ULO-PN7341#0001 BT", KOVRA_LINK_OTHER},
      {"Bluetooth bridge", "SI_SetBreak", "FAKE_SIUSBXP_CONFIG", bridge + "fails=SI_SetBreak\n",
       "ULO-PN7341#0001 BT", KOVRA_LINK_OTHER},
      {"Bluetooth bridge", "SI_CheckRXQueue", "FAKE_SIUSBXP_CONFIG",
       bridge + "fails=SI_CheckRXQueue\n", "ULO-PN7341#0001 BT", KOVRA_LINK_OTHER},
      {"Bluetooth line", "no such device", nullptr, "", "/dev/kovra-no-such-tty BT",
       KOVRA_LINK_NO_DEVICE},
      {"Bluetooth line", "no terminal", nullptr, "", "/dev/null BT", KOVRA_LINK_NOT_A_TERMINAL},
      {"Bluetooth line", "held by another program", nullptr, "", held.path() + " BT",
       KOVRA_LINK_BUSY},
      {"Bluetooth", "a name with BTW", nullptr, "", "BTW", KOVRA_LINK_NOT_SUPPORTED},
      {"PC/SC", "no daemon", nullptr, "", "PCSC: Virtual PCD 00 00", KOVRA_LINK_NO_DEVICE},
  };
  for (const Case &c : cases) {
    std::optional<kovra_test::FakeDevices> devices;
    if (c.variable) devices.emplace(c.devices, c.variable);
    EXPECT_EQ(KOVRA_OpenPort(c.name.c_str(), 19200, 300), KOVRA_OPEN_FAILED)
        << c.link << ", " << c.step;
    EXPECT_EQ(KOVRA_GetLinkFailure(), c.failure) << c.link << ", " << c.step;
  }
}

}  // namespace
