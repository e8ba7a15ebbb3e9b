// A configuration connection: a port whose link is the configuration side of a network reader.
#include "transport/lan_config/lan_config_connection.h"

namespace kovra {

std::unique_ptr<LanConfigConnection> LanConfigConnection::Open(const std::string &name) {
  auto connection = std::make_unique<LanConfigConnection>();
  if (!connection->link_.OpenConfigLink(name)) return nullptr;
  connection->open_.store(true);
  return connection;
}

void LanConfigConnection::Close() {
  open_.store(false);
  link_.CloseDatagram();
}

}  // namespace kovra
