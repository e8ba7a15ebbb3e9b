// What a host's link (the pseudo-terminal server) talks to: the simulated reader itself, or a
// module in front of it (the Bluetooth module, bt_module.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "sim/link_model.h"

namespace kovra_sim {

class HostSide {
 public:
  using OutputFn = std::function<void(const uint8_t *bytes, size_t count)>;

  virtual ~HostSide() = default;
  // Connects a host; `output` receives every byte for it, `on_gone` is called once when the far
  // side stops serving it unasked. Returns the connection's number.
  virtual uint64_t Connect(OutputFn output, std::function<void()> on_gone = {}) = 0;
  // Detaches that host; when it returns, no callback of the connection runs any more.
  virtual void Disconnect(uint64_t connection) = 0;
  // Bytes from the host, in any pieces.
  virtual void Receive(const uint8_t *bytes, size_t count) = 0;
  // The line settings the host set (nothing: unknown).
  virtual void SetLineSettings(std::optional<LineSettings> line) = 0;
};

}  // namespace kovra_sim
