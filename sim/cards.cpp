// The transponders that can lie in the simulated reader's field.
#include "sim/cards.h"

#include <array>
#include <utility>

#include "sim/desfire/desfire_card.h"

namespace kovra_sim {
namespace {

struct KindName {
  CardKind kind;
  std::string_view name;
};

constexpr std::array<KindName, 5> kKindNames = {{
    {CardKind::kClassic1K, "classic1k"},
    {CardKind::kClassic4K, "classic4k"},
    {CardKind::kUltralight, "ultralight"},
    {CardKind::kIso, "iso"},
    {CardKind::kDesfire, "desfire"},
}};

constexpr uint8_t kCascadeTag = 0x88;
constexpr uint8_t kNxpManufacturer = 0x04;

}  // namespace

std::string_view CardKindName(CardKind kind) {
  for (const KindName &entry : kKindNames) {
    if (entry.kind == kind) return entry.name;
  }
  return "unknown";
}

std::optional<CardKind> CardKindFromName(std::string_view name) {
  for (const KindName &entry : kKindNames) {
    if (entry.name == name) return entry.kind;
  }
  return std::nullopt;
}

size_t DefaultUidLength(CardKind kind) {
  return kind == CardKind::kClassic1K || kind == CardKind::kClassic4K ? 4 : 7;
}

Layer3Card::Layer3Card(CardKind kind, Bytes uid) : kind_(kind), uid_(std::move(uid)) {}

uint16_t Layer3Card::Atqa() const {
  switch (kind_) {
    case CardKind::kClassic1K:
      return 0x0004;
    case CardKind::kClassic4K:
      return 0x0002;
    default:
      return 0x0044;
  }
}

uint8_t Layer3Card::Sak() const {
  switch (kind_) {
    case CardKind::kClassic1K:
      return 0x08;
    case CardKind::kClassic4K:
      return 0x18;
    default:
      return 0x00;
  }
}

const Bytes EchoIsoCard::kAts = {0x06, 0x75, 0x77, 0x81, 0x02, 0x80};

EchoIsoCard::EchoIsoCard(Bytes uid, CardKind kind) : kind_(kind), uid_(std::move(uid)) {}

Bytes EchoIsoCard::Exchange(const Bytes &block) {
  ++blocks_;
  return block;
}

std::string EchoIsoCard::StateJson() const {
  return "{\"blocks\":" + std::to_string(blocks_) + ",\"resets\":" + std::to_string(resets_) + "}";
}

std::shared_ptr<Card> MakeStandardCard(CardKind kind, Bytes uid) {
  switch (kind) {
    case CardKind::kIso:
      return std::make_shared<EchoIsoCard>(std::move(uid), kind);
    case CardKind::kDesfire:
      return std::make_shared<DesfireCard>(std::move(uid));
    default:
      return std::make_shared<Layer3Card>(kind, std::move(uid));
  }
}

Bytes RandomUid(CardKind kind, std::mt19937 &random) {
  std::uniform_int_distribution<int> byte(0, 0xFF);
  Bytes uid(DefaultUidLength(kind));
  for (uint8_t &b : uid) b = static_cast<uint8_t>(byte(random));
  if (uid.size() == 4) {
    while (uid[0] == kCascadeTag) uid[0] = static_cast<uint8_t>(byte(random));
  } else {
    uid[0] = kNxpManufacturer;
  }
  return uid;
}

}  // namespace kovra_sim
