// Opening a serial line for one port alone, shared by the serial transport and the Bluetooth
// adapter's serial fallback.
#pragma once

#include <string>

namespace kovra {

// Opens `device` read/write, non-blocking, not as the controlling terminal and closed on exec.
// Only a tty is taken: a reader frame written to a disk or a file named by mistake would destroy
// data. An exclusive flock keeps out every other open that asks for one, in this process too and
// by root. Returns the descriptor; -1 when it failed, with the reason recorded by SetLinkFailure.
int OpenTtyExclusively(const std::string &device);

}  // namespace kovra
