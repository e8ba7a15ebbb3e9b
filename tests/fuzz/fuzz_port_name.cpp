// Port names as they come from the settings file or the command line: any text. Splitting off
// the bus address, choosing the transport and naming the serial device must never crash; the
// name keeps what stood before the suffix, an absolute path is opened as it is, and a COM name
// always leads to a /dev/ttyS device.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "reader/port_name.h"
#include "transport/serial/serial_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  const kovra::PortName parsed = kovra::SplitBusAddress(text);
  if (text.substr(0, parsed.name.size()) != parsed.name || parsed.bus_address < 0) std::abort();
  kovra::RouteOf(parsed.name);
  kovra::UsesBaudArgument(parsed.name);

  const kovra::SerialDevice device = kovra::NormaliseSerialName(parsed.name);
  // An absolute path (under /dev or a link elsewhere) is opened as it is.
  if (!device.use_d2xx && !device.device.starts_with("/")) std::abort();
  if (!device.use_d2xx && !parsed.name.starts_with("/")) {
    const std::string_view number = std::string_view(device.device).substr(9);
    if (!device.device.starts_with("/dev/ttyS") || number.empty() ||
        number.find_first_not_of("0123456789") != std::string_view::npos ||
        (number.size() > 1 && number[0] == '0')) {
      std::abort();
    }
  }
  return 0;
}
