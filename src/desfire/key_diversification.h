// Keys of their own for every card: a card's key derived from a master key and the card's identity
// (its UID, the application ID, an optional system identifier) by the CMAC-based method DESFire
// card issuers use, so that a key read out of one card opens no other card, while a terminal that
// knows the master key computes each card's key when it meets the card.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kovra::desfire {

enum class DiversifiedKeyType : uint8_t {
  kAes128,        // 16-byte key, one CMAC with AES-128 (constant 0x01)
  kTwoKeyTdes,    // 16-byte key K1 || K2, two CMACs with two-key triple DES (0x21, 0x22)
  kThreeKeyTdes,  // 24-byte key K1 || K2 || K3, three CMACs with three-key triple DES (0x31..0x33)
};

// The length of the master key and of the derived key of a type: 16, 16 or 24 bytes.
size_t DiversifiedKeyLength(DiversifiedKeyType type);

// The longest diversification input a type takes: the constant byte and the input must fit two
// cipher blocks (AES-128: 31 bytes; the DES-based types: 15 bytes).
size_t MaxDiversificationInput(DiversifiedKeyType type);

// The diversification input of a card: its UID, then the application ID as the card is sent it
// (3 bytes, least significant first), then the system identifier (may be empty).
std::vector<uint8_t> DiversificationInput(std::span<const uint8_t> uid,
                                          std::span<const uint8_t, 3> aid,
                                          std::span<const uint8_t> system_identifier);

// Derives the key of type `type` for `input` from `master` into `derived`, which must hold
// DiversifiedKeyLength(type) bytes. The input is padded to two cipher blocks (0x80 and zeros,
// then the second CMAC subkey) even when it is short: a one-block CMAC would give another key.
// For the DES-based types this is the raw CMAC output; CarryKeyVersion gives the form the card
// stores. Returns false and writes nothing when `master` has the wrong length or `input` is
// longer than MaxDiversificationInput(type).
bool DiversifyKey(DiversifiedKeyType type, std::span<const uint8_t> master,
                  std::span<const uint8_t> input, uint8_t *derived);

// A DES-based key carries its version in the lowest bit of each of its first eight bytes, the
// first byte holding the version's top bit. Sets those bits of `derived` to the version `master`
// carries; a two-key key gets the inverted bits in its second half, so that its halves never
// become equal and the key never turns into single DES. AES-128 keys keep their version apart
// from the key: nothing changes for them. `derived` holds DiversifiedKeyLength(type) bytes.
void CarryKeyVersion(DiversifiedKeyType type, std::span<const uint8_t> master, uint8_t *derived);

}  // namespace kovra::desfire
