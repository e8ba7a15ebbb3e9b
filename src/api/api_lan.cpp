// The exported functions of network readers: the search, the ping, and reading and changing a
// reader's network settings.
#include <cstring>
#include <string>

#include "api/api_guard.h"
#include "api/lan_config.h"
#include "api/name_list.h"
#include "kovra.h"

using kovra::Guarded;

namespace {

std::string Text(const char *text) {
  return text != nullptr ? text : "";
}

void CopyText(const std::string &text, char *buffer) {
  if (buffer != nullptr) std::memcpy(buffer, text.c_str(), text.size() + 1);
}

}  // namespace

extern "C" {

KOVRA_API int KOVRA_SearchLanDevices(char *buffer, int size) {
  return Guarded(0, [&] { return kovra::WriteNameList(kovra::SearchLan(false), buffer, size); });
}

KOVRA_API int KOVRA_ListLanPorts(char *buffer, int size) {
  return Guarded(0, [&] { return kovra::WriteNameList(kovra::SearchLan(true), buffer, size); });
}

KOVRA_API int KOVRA_PingLanDevice(const char *address) {
  return Guarded(0, [&] { return kovra::PingLan(Text(address)); });
}

KOVRA_API int KOVRA_GetLanConfig(const char *address, char *name, char *address_out, char *mask,
                                 char *gateway) {
  return Guarded(-1, [&] {
    kovra::LanSettingsTexts texts;
    const int result = kovra::GetLanConfig(Text(address), texts);
    if (result != 0) return result;
    CopyText(texts.name, name);
    // Without a name buffer a DHCP reader (which has no address text) is named by its identity.
    CopyText(name == nullptr && texts.address.empty() ? texts.name : texts.address, address_out);
    CopyText(texts.mask, mask);
    CopyText(texts.gateway, gateway);
    return 0;
  });
}

KOVRA_API int KOVRA_SetLanConfig(const char *address, const char *new_address, const char *mask,
                                 const char *gateway) {
  return Guarded(-1, [&] {
    return kovra::SetLanConfig(Text(address), Text(new_address), Text(mask), Text(gateway));
  });
}

}  // extern "C"
