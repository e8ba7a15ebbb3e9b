// The network reader's part of the control language (control.h).
#include "sim/lan_control.h"

#include "sim/json.h"

namespace kovra_sim {

std::optional<std::string> LanControl::Fault(const std::vector<std::string_view> &words) {
  const std::string_view what = words.size() > 1 ? words[1] : std::string_view();
  if (what != "lan-silent" && what != "lan-flood" && what != "reset-link" &&
      what != "reset-mid-reply") {
    return std::nullopt;
  }
  if (words.size() != 2) return "error: usage: fault " + std::string(what);
  if (what == "lan-silent") {
    reader_.SetServiceSilent(true);
  } else if (what == "lan-flood") {
    reader_.SetServiceFlood(true);
  } else if (what == "reset-link") {
    reader_.ResetLink();
  } else {
    reader_.ResetMidReply();
  }
  return "ok";
}

void LanControl::ClearFaults() {
  reader_.SetServiceSilent(false);
  reader_.SetServiceFlood(false);
}

std::optional<std::string> LanControl::Command(const std::vector<std::string_view> &words) {
  if (words.empty() || words[0] != "lan") return std::nullopt;
  if (words.size() != 1) return "error: usage: lan";
  return LanStatusJson(reader_.Status());
}

std::string LanControl::Help() const {
  return " | lan; LAN faults: lan-silent|lan-flood|reset-link|reset-mid-reply";
}

std::string LanStatusJson(const LanStatus &status) {
  const LanSettings &record = status.record;
  JsonWriter json;
  json.BeginObject();
  json.Key("address").String(DottedAddress(status.address));
  json.Key("port").Unsigned(status.port);
  json.Key("interface").String(status.interface);
  json.Key("owned").Bool(status.owns_interface);
  json.Key("restarting").Bool(status.restarting);
  json.Key("restarts").Unsigned(status.restarts);
  json.Key("connected").Bool(status.connected);
  json.Key("broadcasts").Bool(status.takes_broadcasts);
  json.Key("datagrams").Unsigned(status.datagrams);
  json.Key("record").BeginObject();
  json.Key("address").String(DottedAddress(record.address));
  json.Key("dhcp").Bool(record.Dhcp());
  json.Key("host_bits").Unsigned(record.host_bits);
  json.Key("mask").String(DottedAddress(MaskOfHostBits(record.host_bits)));
  json.Key("gateway").String(DottedAddress(record.gateway));
  json.Key("port").Unsigned(record.port);
  json.Key("name").String(record.name);
  json.Key("identity").String("[" + record.name + "]");
  json.EndObject();
  json.Key("id").String(HexString(status.identity.id));
  json.Key("extended").Bool(status.identity.extended);
  json.Key("product").String(status.product);
  json.Key("faults").BeginObject();
  json.Key("silent").Bool(status.silent);
  json.Key("flood").Bool(status.flood);
  json.EndObject();
  json.Key("error").String(status.error);
  json.EndObject();
  return json.Text();
}

}  // namespace kovra_sim
