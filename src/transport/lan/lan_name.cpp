// The names of network readers as port names carry them (the bus address suffix is already off).
#include "transport/lan/lan_name.h"

#include "transport/lan_config/lan_datagram.h"

namespace kovra::lan {

std::optional<std::string> BracketedIdentity(std::string_view name) {
  const size_t open = name.find('[');
  if (open == std::string_view::npos) return std::nullopt;
  const size_t close = name.find(']', open);
  if (close == std::string_view::npos) return std::nullopt;
  return std::string(name.substr(open, close - open + 1));
}

std::optional<LanTarget> SplitTarget(std::string_view name) {
  const size_t hyphen = name.rfind('-');
  if (hyphen == std::string_view::npos) return LanTarget{std::string(name), kDefaultTcpPort};
  const std::string_view digits = name.substr(hyphen + 1);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<unsigned>(c - '0');
  }
  if (port == 0 || port > 0xFFFF) return std::nullopt;
  return LanTarget{std::string(name.substr(0, hyphen)), static_cast<uint16_t>(port)};
}

std::string AddressPart(std::string_view name) {
  return std::string(name.substr(0, name.rfind('-')));
}

}  // namespace kovra::lan
