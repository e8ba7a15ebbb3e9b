// The Bluetooth module's part of the control language (control.h).
#include "sim/bt_control.h"

#include "sim/json.h"

namespace kovra_sim {

std::optional<std::string> BtControl::Fault(const std::vector<std::string_view> &words) {
  if (words.empty()) return std::nullopt;
  if (words[0] == "bt-silent-disconnect") {
    module_.SetSilentOnDisconnect(true);
    return "ok";
  }
  if (words[0] == "bt-stray") {
    module_.InjectStray({0x02, 0x7E});
    return "ok";
  }
  return std::nullopt;
}

void BtControl::ClearFaults() {
  module_.SetSilentOnDisconnect(false);
}

std::optional<std::string> BtControl::Command(const std::vector<std::string_view> &words) {
  if (words.size() != 1 || words[0] != "bt") return std::nullopt;
  JsonWriter json;
  json.BeginObject();
  json.Key("link").Bool(module_.LinkUp());
  json.Key("dropped_before_link").Unsigned(module_.DroppedBeforeLink());
  json.EndObject();
  return json.Text();
}

std::string BtControl::Help() const {
  return " | bt; faults: bt-silent-disconnect bt-stray";
}

}  // namespace kovra_sim
