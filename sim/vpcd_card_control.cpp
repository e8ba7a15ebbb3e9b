#include "sim/vpcd_card_control.h"

#include "sim/json.h"

namespace kovra_sim {

std::optional<std::string> VpcdCardControl::Command(const std::vector<std::string_view> &words) {
  if (words.empty() || words[0] != "vpcd") return std::nullopt;
  if (words.size() != 1) return "error: usage: vpcd";
  const VpcdCardStatus status = card_.Status();
  JsonWriter json;
  json.BeginObject();
  json.Key("address").String(DottedAddress(card_.Config().address));
  json.Key("port").Unsigned(card_.Config().port);
  json.Key("connected").Bool(status.connected);
  json.Key("connections").Unsigned(status.connections);
  json.Key("apdus").Unsigned(status.apdus);
  json.Key("controls").Unsigned(status.controls);
  json.Key("last_close").String(status.last_close);
  json.EndObject();
  return json.Text();
}

}  // namespace kovra_sim
