// The network reader's part of the control language (control.h):
//
//   lan                      one line of JSON: the address and TCP port it serves on now, the
//                            setup record's settings, its identity and its faults (LanStatusJson)
//   fault lan-silent         the configuration service answers nothing
//   fault lan-flood          the service also sends a setup-record answer to the last sender every
//                            5 ms, for as long as the fault lasts (a reader that answers a search
//                            forever)
//   fault reset-link         the host's TCP connection is reset (RST)
//   fault reset-mid-reply    the first half of the next reply goes out, then the connection is
//                            reset
//
// `fault none` ends lan-silent and lan-flood. `fault drop-link` stays the reader's own: over TCP
// it closes the host's connection in order; the reader listens on.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/control.h"
#include "sim/lan_reader.h"

namespace kovra_sim {

class LanControl : public ControlExtension {
 public:
  // `reader` must outlive this object.
  explicit LanControl(LanReader &reader) : reader_(reader) {}

  std::optional<std::string> Fault(const std::vector<std::string_view> &words) override;
  void ClearFaults() override;
  std::optional<std::string> Command(const std::vector<std::string_view> &words) override;
  std::string Help() const override;

 private:
  LanReader &reader_;
};

// {"address":"10.231.0.2","port":10001,"interface":"kvr0","owned":true,"restarting":false,
//  "restarts":0,"connected":false,"broadcasts":true,"datagrams":3,
//  "record":{"address":"0.0.0.0","dhcp":true,"host_bits":8,"mask":"255.255.255.0",
//            "gateway":"0.0.0.0","port":10001,"name":"NORTHGATE1","identity":"[NORTHGATE1]"},
//  "id":"024B56000001","extended":true,"product":"KV-LAN Reader",
//  "faults":{"silent":false,"flood":false},"error":""}
std::string LanStatusJson(const LanStatus &status);

}  // namespace kovra_sim
