// Network readers' settings through their configuration service: configuration connections (a
// port handle from the LAN pool whose link is the configuration socket), and the library calls
// that search, ping, read and change readers. The C functions (api_lan.cpp) wrap these.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "reader/port.h"
#include "transport/lan_config/lan_config_link.h"

namespace kovra {

// Opens a configuration connection to the reader `name` names (address, address-port or
// "[identity]"; anything from the first ":" on is ignored) and puts it into the port list.
// Result: its handle (from 20001), or -1 when no local adapter reaches the reader.
int OpenConfigConnection(const std::string &name);
// A configuration connection's port, held while it is used, and its link.
struct ConfigPort {
  std::shared_ptr<CKOVRA_Port> port;
  lan::LanConfigLink *link = nullptr;  // null for a handle that names no configuration connection
};
ConfigPort ConfigPortOf(int handle);
// Sends the end of configuration when asked, closes the connection and frees its handle. False
// for a handle that names no configuration connection.
bool CloseConfigConnection(int handle, bool send_end);

// The search of KOVRA_SearchLanDevices (filter off) and KOVRA_ListLanPorts (filter on): the
// entries found over every local adapter, sorted and without duplicates.
std::vector<std::string> SearchLan(bool filter);
// KOVRA_PingLanDevice: 1 when the reader at `address` sends its setup record through some local
// adapter, else 0.
int PingLan(const std::string &address);

// The four texts of a reader's settings.
struct LanSettingsTexts {
  std::string address;  // "a.b.c.d-port"; empty for a DHCP reader
  std::string name;     // "[identity]-port"
  std::string mask;     // "a.b.c.d"
  std::string gateway;  // "a.b.c.d"
};
// The texts KOVRA_GetLanConfig gives for a setup record of at least 120 bytes.
LanSettingsTexts SettingsTexts(const lan::Bytes &setup_record);
// KOVRA_GetLanConfig: 0 and the texts, -1 when the reader does not answer, or the negative
// result of OpenConfigConnection.
int GetLanConfig(const std::string &address, LanSettingsTexts &texts);
// KOVRA_SetLanConfig: 0 when the settings were written or nothing needed changing, a negative
// result otherwise. `mask` and `gateway` may be empty.
int SetLanConfig(const std::string &address, const std::string &new_address,
                 const std::string &mask, const std::string &gateway);

}  // namespace kovra
