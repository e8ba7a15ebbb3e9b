// The transponders that can lie in the simulated reader's field.
//
//   kind        ATQA (value)  SAK   UID              layer 4  answers
//   classic1k   0x0004        0x08  4 bytes          no       request and select only
//   classic4k   0x0002        0x18  4 bytes          no       request and select only
//   ultralight  0x0044        0x00  7 bytes, 04 ..   no       request and select only
//   iso         0x0344        0x20  7 bytes, 04 ..   yes      ATS 06 75 77 81 02 80; echoes each
//                                                             exchanged block back unchanged
//   desfire     0x0344        0x20  7 bytes, 04 ..   yes      ATS as iso; a DESFire EV1 card
//                                                             (sim/desfire/desfire_card.h)
//
// The reader sends the ATQA low byte first (the order it comes over the air), so a host that reads
// the two bytes as a little-endian number gets the value above.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "sim/frame_codec.h"

namespace kovra_sim {

enum class CardKind { kClassic1K, kClassic4K, kUltralight, kIso, kDesfire };

// The kind's name as the control interface spells it ("classic1k", ...).
std::string_view CardKindName(CardKind kind);
// The kind of a name; nothing for an unknown one.
std::optional<CardKind> CardKindFromName(std::string_view name);
// The UID length a card of the kind gets when none is given: 4 or 7.
size_t DefaultUidLength(CardKind kind);

// A card as ISO 14443-3 sees it: what it answers to request and select. Not thread-safe; the field
// (and the reader's lock around it) serialises every call.
class Card {
 public:
  virtual ~Card() = default;
  virtual CardKind Kind() const = 0;
  virtual uint16_t Atqa() const = 0;
  virtual uint8_t Sak() const = 0;
  virtual Bytes Uid() const = 0;
  // The card lost power or was selected anew: it forgets any session it had. The default does
  // nothing.
  virtual void Reset() {}
  // The card's state for the reader's JSON state: one JSON value ("{}" for a card that keeps none).
  virtual std::string StateJson() const { return "{}"; }
};

// A card with the ISO 14443-4 layer (SAK bit 0x20): it answers RATS with its ATS and exchanges
// blocks. The DESFire card (DesfireCard) implements this.
class Iso14443Card : public Card {
 public:
  virtual Bytes Ats() const = 0;
  // The card's answer to one block (the block as the host handed it to the reader, 1..255 bytes).
  // An empty answer is sent to the host as an empty success.
  virtual Bytes Exchange(const Bytes &block) = 0;
};

// Classic 1K, Classic 4K and Ultralight: no layer 4, no memory model; they only answer request and
// select.
class Layer3Card : public Card {
 public:
  // `kind` must be one of the three layer-3 kinds.
  Layer3Card(CardKind kind, Bytes uid);
  CardKind Kind() const override { return kind_; }
  uint16_t Atqa() const override;
  uint8_t Sak() const override;
  Bytes Uid() const override { return uid_; }

 private:
  CardKind kind_;
  Bytes uid_;
};

// An ISO 14443-4 card with nothing behind the protocol: every block comes back as it was sent. It
// counts the blocks it saw.
class EchoIsoCard : public Iso14443Card {
 public:
  static constexpr uint16_t kAtqa = 0x0344;
  static constexpr uint8_t kSak = 0x20;
  // ATS: TL 06, T0 75 (FSCI 5, TA TB TC follow), TA 77 (DS = DR = 2, 4, 8), TB 81, TC 02, one
  // historical byte 80.
  static const Bytes kAts;

  // `kind` is the name the card goes by: kIso or kDesfire.
  explicit EchoIsoCard(Bytes uid, CardKind kind = CardKind::kIso);
  CardKind Kind() const override { return kind_; }
  uint16_t Atqa() const override { return kAtqa; }
  uint8_t Sak() const override { return kSak; }
  Bytes Uid() const override { return uid_; }
  Bytes Ats() const override { return kAts; }
  Bytes Exchange(const Bytes &block) override;
  void Reset() override { ++resets_; }
  // {"blocks":N,"resets":N}
  std::string StateJson() const override;

  size_t Blocks() const { return blocks_; }
  size_t Resets() const { return resets_; }

 private:
  CardKind kind_;
  Bytes uid_;
  size_t blocks_ = 0;
  size_t resets_ = 0;
};

// A card of the kind with this UID: a factory-fresh DesfireCard for kDesfire, an EchoIsoCard for
// kIso, a Layer3Card otherwise. Never null.
std::shared_ptr<Card> MakeStandardCard(CardKind kind, Bytes uid);

// A fresh random UID for the kind: 4 bytes for the Classic kinds (never starting with the cascade
// tag 0x88), otherwise 7 bytes starting with 04 (the manufacturer byte of the real cards).
Bytes RandomUid(CardKind kind, std::mt19937 &random);

}  // namespace kovra_sim
