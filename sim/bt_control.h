// The Bluetooth module's part of the control language (control.h):
//
//   bt                          one line of JSON: whether the link is up, and the data packets
//                               dropped because they came before it
//   fault bt-silent-disconnect  the module answers a disconnect with nothing
//   fault bt-stray              two stray bytes (02 and a junk byte) go out before the next packet
//
// `fault none` ends bt-silent-disconnect.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bt_module.h"
#include "sim/control.h"

namespace kovra_sim {

class BtControl : public ControlExtension {
 public:
  // `module` must outlive this object.
  explicit BtControl(BtModule &module) : module_(module) {}

  std::optional<std::string> Fault(const std::vector<std::string_view> &words) override;
  void ClearFaults() override;
  std::optional<std::string> Command(const std::vector<std::string_view> &words) override;
  std::string Help() const override;

 private:
  BtModule &module_;
};

}  // namespace kovra_sim
