// A change of a network reader's settings, worked out on its records: what changes, the setup
// record and name record to write back, the address assignment to send, and the name under which
// the reader answers again afterwards. Pure functions; the exchange is in api/lan_config.cpp.
#pragma once

#include <optional>
#include <string>

#include "transport/lan_config/lan_datagram.h"
#include "transport/lan_config/lan_record.h"

namespace kovra::lan {

struct SettingsChange {
  AddressSpec spec;  // new address (0.0.0.0: DHCP), port (0: keep), name (empty: keep)
  bool mask_present = false;
  Ipv4 mask{};        // when present
  int host_bits = 0;  // of the mask, when present
  Ipv4 gateway{};     // 0.0.0.0 when none was given (clears a set one)
};

// Reads the arguments of a change: the address specification (ParseAddressSpec), a mask and a
// gateway (each empty, or four dotted numbers). Nothing when one of them does not parse.
std::optional<SettingsChange> ParseSettingsChange(const std::string &new_address,
                                                  const std::string &mask,
                                                  const std::string &gateway);

// Whether the configured address differs from the new one.
bool AddressChanges(const Bytes &record, const SettingsChange &change);
// Whether port, mask, gateway or name differ from the record.
bool OtherSettingsChange(const Bytes &record, const SettingsChange &change);

// The 16-byte name field: the new name when one is given, else the record's, cut to 16 and
// NUL-padded.
std::array<uint8_t, 16> NameField(const Bytes &record, const SettingsChange &change);

// The setup record with the change applied (address, host bits when a mask is given, gateway,
// port when not 0, the two name halves when a name is given); every other byte as read.
Bytes PatchedSetupRecord(Bytes record, const SettingsChange &change);
// Record 3 with characters 9 .. 16 of the new name; nothing unless it has exactly 126 bytes.
std::optional<Bytes> PatchedNameRecord(Bytes record3, const SettingsChange &change);

// Whether an identify reply (at least 26 bytes) says the reader takes the extended assignment.
bool TakesExtendedAssignment(const Bytes &identify);
// Bytes 4 and 5 of the device identifier in an identify reply (at least 26 bytes), which the
// simple assignment names the reader by.
std::array<uint8_t, 2> IdentifierTail(const Bytes &identify);
// The extended assignment for a change. A port of 0 and a missing mask mean "keep": the record's
// own port and mask are sent, so that no reader is given port 0 or mask 0.0.0.0 by omission.
ExtendedAssignment ExtendedFor(const Bytes &identify, const Bytes &record,
                               const SettingsChange &change);

// The name to find the reader by after its address was assigned: a fixed address by that
// address; a DHCP reader by its new identity when the extended assignment carried the name
// (`settings_assigned`), else by the identity it has now, because a new name takes effect only
// with the setup record written afterwards.
std::string ReopenName(const Bytes &record, const SettingsChange &change, bool settings_assigned);

}  // namespace kovra::lan
