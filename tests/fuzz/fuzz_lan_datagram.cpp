// Datagrams on the configuration port of network readers: anything on the local network may
// send any bytes there. Each parser must hold its bounds: a datagram is a reply only with its
// 4-byte header; the texts made from a record are well formed whatever its bytes; a record
// patched for writing keeps its size. The same bytes also go through the parsers of the texts
// that name readers (port names, address specifications, masks).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "api/lan_config.h"
#include "transport/lan/lan_name.h"
#include "transport/lan_config/lan_datagram.h"
#include "transport/lan_config/lan_record.h"
#include "transport/lan_config/lan_settings.h"

namespace {

using namespace kovra::lan;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsPortSuffix(std::string_view text) {
  const size_t hyphen = text.rfind('-');
  if (hyphen == std::string_view::npos || hyphen + 1 == text.size()) return false;
  return text.find_first_not_of("0123456789", hyphen + 1) == std::string_view::npos;
}

void RecordTexts(const Bytes &record) {
  const std::string identity = ReaderIdentity(record);
  Check(identity.size() >= 2 && identity.size() <= 18 && identity.front() == '[' &&
        identity.back() == ']');
  const std::string entry = SearchEntry(record, {10, 231, 1, 2});
  Check(IsPortSuffix(entry));
  const kovra::LanSettingsTexts texts = kovra::SettingsTexts(record);
  Check(texts.name.size() <= 24 && texts.address.size() <= 21);
  Check(ParseDotted(texts.mask).has_value() && ParseDotted(texts.gateway).has_value());
  Check(HostBitsFromMask(*ParseDotted(texts.mask)) == std::min(HostBits(record), 32));
  const std::string product = ProductName(record);
  Check(product.size() + 93 <= record.size() || product.empty());

  const auto change = ParseSettingsChange("[FUZZ]-4001", "255.255.254.0", "10.231.1.1");
  Check(PatchedSetupRecord(record, *change).size() == record.size());
  const auto patched3 = PatchedNameRecord(record, *change);
  Check(!patched3 || patched3->size() == kNameRecordSize);
  ExtendedFor(record, record, *change);
  TakesExtendedAssignment(record);
}

void NameTexts(std::string_view text) {
  if (const auto spec = ParseAddressSpec(text)) {
    Check(spec->address == kAnyAddress || text.front() != '[');
  }
  if (const auto target = SplitTarget(text)) Check(target->port != 0);
  if (const auto identity = BracketedIdentity(text)) {
    Check(identity->front() == '[' && identity->back() == ']');
  }
  if (const auto mask = ParseDotted(text)) {
    Check(ParseDotted(Dotted(*mask)) == mask);  // leading zeros are decimal: "020" is 20
    const int bits = HostBitsFromMask(*mask);
    Check(bits >= 0 && bits <= 32);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const auto datagram = ParseDatagram(data, size);
  Check(datagram.has_value() == (size >= kHeaderSize));
  if (datagram) {
    Check(datagram->code == data[3] && datagram->payload.size() == size - kHeaderSize);
    RecordTexts(datagram->payload);
  }
  NameTexts(std::string_view(reinterpret_cast<const char *>(data), size));
  return 0;
}
