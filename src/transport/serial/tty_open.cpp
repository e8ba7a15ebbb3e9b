// Opening a serial line for one port alone, shared by the serial transport and the Bluetooth
// adapter's serial fallback.
#include "transport/serial/tty_open.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "kovra.h"
#include "transport/link_failure.h"

namespace kovra {

int OpenTtyExclusively(const std::string &device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetLinkFailure(LinkFailureForErrno(errno));
    return -1;
  }
  if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    SetLinkFailure(::isatty(fd) ? KOVRA_LINK_BUSY : KOVRA_LINK_NOT_A_TERMINAL);
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace kovra
