// The vpcd card's part of the control language (control.h):
//
//   vpcd    one line of JSON: {"address","port","connected","connections","apdus","controls",
//           "last_close"}, where the card connects, whether the driver holds it now, how many
//           connections, APDUs and control messages there were, and why the last connection ended
//
// The card's faults are the reader's own: `fault silent` (the card goes mute), `fault
// remove-after K`, `remove`, `place`, `feed`.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/control.h"
#include "sim/vpcd_card.h"

namespace kovra_sim {

class VpcdCardControl : public ControlExtension {
 public:
  // `card` must outlive this object.
  explicit VpcdCardControl(const VpcdCard &card) : card_(card) {}

  std::optional<std::string> Fault(const std::vector<std::string_view> &) override {
    return std::nullopt;
  }
  void ClearFaults() override {}
  std::optional<std::string> Command(const std::vector<std::string_view> &words) override;
  std::string Help() const override { return " | vpcd"; }

 private:
  const VpcdCard &card_;
};

}  // namespace kovra_sim
