// The reader's answers to the identification commands as the C API meets them: the version
// (with the rewriting of families 2 and 3 and the follow-up query of family 2) and the serial
// number; any bytes and any status, in any family, into a caller's buffer of any size. The
// calls must never crash or write past the buffer, and report either a count that fits or -1.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "fuzz_replies.h"
#include "kovra.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

// The first byte: bits 0-1 the family; the second: the caller's buffer size.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const int family = data[0] & 3;
  const int room = data[1];
  kovra_fuzz::FuzzReplies replies(data + 2, size - 2, kovra_sim::ReplyStatus::kNotAccepted);

  kovra_sim::SimReaderConfig config;
  config.family = family;
  kovra_sim::SimReader reader(config);
  reader.WithFirmware([&](kovra_sim::Firmware &firmware) {
    for (const uint8_t code : {0xF0, 0xF8}) {
      firmware.SetHandler(code, [&](const kovra_sim::FirmwareCommand &) { return replies.Next(); });
    }
  });
  kovra_test::SimPortOptions options;
  options.add_to_app = true;
  const auto port = kovra_test::MakeSimPort(reader, family, options);
  const int handle = port->Handle();

  // The buffer is exactly `room` bytes on the heap, so a write past it is caught.
  std::vector<unsigned char> buffer(static_cast<size_t>(room));
  for (int round = 0; round < 2; ++round) {
    const int version = KOVRA_GetVersion(handle, buffer.data(), room);
    if (version < -1 || version > room) std::abort();
    const int serial = KOVRA_GetSerialNumber(handle, buffer.data(), room);
    if (serial < -1 || serial > room) std::abort();
  }
  kovra_test::RemoveSimPort(port);
  return 0;
}
