// A change of a network reader's settings, worked out on its records.
#include "transport/lan_config/lan_settings.h"

#include <algorithm>

namespace kovra::lan {
namespace {

void Put(Bytes &record, size_t at, const uint8_t *bytes, size_t count) {
  std::copy(bytes, bytes + count, record.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::optional<SettingsChange> ParseSettingsChange(const std::string &new_address,
                                                  const std::string &mask,
                                                  const std::string &gateway) {
  SettingsChange change;
  const auto spec = ParseAddressSpec(new_address);
  if (!spec) return std::nullopt;
  change.spec = *spec;
  if (!gateway.empty()) {
    const auto parsed = ParseDotted(gateway);
    if (!parsed) return std::nullopt;
    change.gateway = *parsed;
  }
  if (!mask.empty()) {
    const auto parsed = ParseDotted(mask);
    if (!parsed) return std::nullopt;
    change.mask_present = true;
    change.mask = *parsed;
    change.host_bits = HostBitsFromMask(*parsed);
  }
  return change;
}

bool AddressChanges(const Bytes &record, const SettingsChange &change) {
  return ConfiguredAddress(record) != change.spec.address;
}

bool OtherSettingsChange(const Bytes &record, const SettingsChange &change) {
  return (change.spec.port != 0 && change.spec.port != TcpPort(record)) ||
         (change.mask_present && change.host_bits != HostBits(record)) ||
         Gateway(record) != change.gateway ||
         (!change.spec.name.empty() && change.spec.name != DeviceName(record));
}

std::array<uint8_t, 16> NameField(const Bytes &record, const SettingsChange &change) {
  const std::string name = change.spec.name.empty() ? DeviceName(record) : change.spec.name;
  std::array<uint8_t, 16> field{};
  std::copy_n(name.begin(), std::min(name.size(), field.size()), field.begin());
  return field;
}

Bytes PatchedSetupRecord(Bytes record, const SettingsChange &change) {
  if (record.size() < kRecordReplySize) return record;
  Put(record, at::kAddress, change.spec.address.data(), change.spec.address.size());
  if (change.mask_present) record[at::kHostBits] = static_cast<uint8_t>(change.host_bits);
  Put(record, at::kGateway, change.gateway.data(), change.gateway.size());
  if (change.spec.port != 0) {
    record[at::kTcpPort] = static_cast<uint8_t>(change.spec.port & 0xFF);
    record[at::kTcpPort + 1] = static_cast<uint8_t>(change.spec.port >> 8);
  }
  if (!change.spec.name.empty()) {
    const auto name = NameField(record, change);
    Put(record, at::kNameHead, name.data(), 8);
    Put(record, at::kNameTail, name.data() + 8, 8);
  }
  return record;
}

std::optional<Bytes> PatchedNameRecord(Bytes record3, const SettingsChange &change) {
  if (record3.size() != kNameRecordSize || change.spec.name.empty()) return std::nullopt;
  const auto name = NameField(record3, change);
  Put(record3, at::kRecord3NameTail, name.data() + 8, 8);
  return record3;
}

bool TakesExtendedAssignment(const Bytes &identify) {
  return identify.size() >= kIdentifyReplySize && identify[at::kExtendedMark] == 'U' &&
         identify[at::kExtendedMark + 1] == 'L' && identify[at::kExtendedMark + 2] == 'O';
}

std::array<uint8_t, 2> IdentifierTail(const Bytes &identify) {
  if (identify.size() < kIdentifyReplySize) return {};
  return {identify[at::kIdentifier + 4], identify[at::kIdentifier + 5]};
}

ExtendedAssignment ExtendedFor(const Bytes &identify, const Bytes &record,
                               const SettingsChange &change) {
  ExtendedAssignment settings;
  if (identify.size() >= kIdentifyReplySize) {
    std::copy_n(identify.begin() + at::kIdentifier, settings.identifier.size(),
                settings.identifier.begin());
  }
  settings.address = change.spec.address;
  settings.tcp_port = change.spec.port != 0 ? change.spec.port : TcpPort(record);
  settings.mask = change.mask_present ? change.mask : MaskFromHostBits(HostBits(record));
  settings.gateway = change.gateway;
  settings.name = NameField(record, change);
  return settings;
}

std::string ReopenName(const Bytes &record, const SettingsChange &change, bool settings_assigned) {
  if (change.spec.address != kAnyAddress) return Dotted(change.spec.address);
  if (settings_assigned && !change.spec.name.empty()) {
    const auto name = NameField(record, change);
    const auto end = std::find(name.begin(), name.end(), uint8_t{0});
    return "[" + std::string(name.begin(), end) + "]";
  }
  return ReaderIdentity(record);
}

}  // namespace kovra::lan
