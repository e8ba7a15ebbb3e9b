// A configuration connection: a port whose link is the configuration side of a network reader
// (lan_config_link.h) instead of a TCP connection. It carries no reader commands; it gives the
// reader a port handle from the LAN pool while its settings are read and written.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "reader/transport.h"
#include "transport/lan_config/lan_config_link.h"

namespace kovra {

class LanConfigConnection final : public Transport {
 public:
  // The configuration link of the reader that `name` names (address, address-port or a bracketed
  // identity), found on the first local adapter through which it sends its setup record. Null
  // when no adapter reaches it.
  static std::unique_ptr<LanConfigConnection> Open(const std::string &name);

  lan::LanConfigLink &Link() { return link_; }

  // Transport: open until Close. Frames are not sent on a configuration connection.
  bool IsOpen() const override { return open_.load(); }
  void Write(const uint8_t *, size_t) override {}
  void Close() override;

 private:
  lan::LanConfigLink link_;
  std::atomic<bool> open_{false};
};

}  // namespace kovra
