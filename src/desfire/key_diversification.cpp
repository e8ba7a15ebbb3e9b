// Keys of their own for every card.
#include "desfire/key_diversification.h"

#include <array>
#include <cstring>

#include "desfire/des.h"
#include "desfire/df8crypt.h"
#include "desfire/rijdael.h"

namespace kovra::desfire {
namespace {

constexpr size_t kMaxBlock = 16;

// One block cipher with its key set, enciphering blocks in place. The context's destructor wipes
// the key schedule when the derivation ends.
class BlockCipher {
 public:
  BlockCipher(DiversifiedKeyType type, const uint8_t *key)
      : type_(type), aes_(context_), des_(context_) {
    if (type_ == DiversifiedKeyType::kAes128) {
      aes_.SetKey(key);
    } else if (type_ == DiversifiedKeyType::kTwoKeyTdes) {
      des_.Set2Key(key, des::Direction::Encipher);
    } else {
      des_.Set3Key(key, des::Direction::Encipher);
    }
  }
  size_t BlockSize() const { return type_ == DiversifiedKeyType::kAes128 ? 16 : 8; }
  void Encipher(uint8_t *block) {
    if (type_ == DiversifiedKeyType::kAes128) {
      aes_.EncryptBlock(block);
    } else {
      des_.CryptBlock(block, block);
    }
  }

 private:
  DiversifiedKeyType type_;
  DF8Crypt context_;
  rijdael aes_;
  des des_;
};

// Shifts a block left by one bit; XORs rb into the last byte when the top bit fell out.
void NextSubkey(const uint8_t *in, uint8_t *out, size_t block, uint8_t rb) {
  const bool carry = (in[0] & 0x80) != 0;
  for (size_t i = 0; i < block; ++i) {
    const uint8_t next = i + 1 < block ? in[i + 1] : 0;
    out[i] = static_cast<uint8_t>((in[i] << 1) | (next >> 7));
  }
  if (carry) out[block - 1] ^= rb;
}

// The CMAC of constant || input, padded to two blocks, into mac (one block).
void TwoBlockCmac(BlockCipher &cipher, uint8_t constant, std::span<const uint8_t> input,
                  uint8_t *mac) {
  const size_t block = cipher.BlockSize();
  const uint8_t rb = block == 16 ? 0x87 : 0x1B;
  std::array<uint8_t, kMaxBlock> k1{}, k2{};
  cipher.Encipher(k1.data());  // L = E(0)
  NextSubkey(k1.data(), k1.data(), block, rb);
  NextSubkey(k1.data(), k2.data(), block, rb);

  std::array<uint8_t, 2 * kMaxBlock> message{};
  message[0] = constant;
  if (!input.empty()) std::memcpy(message.data() + 1, input.data(), input.size());
  const size_t used = 1 + input.size();
  const uint8_t *subkey = k1.data();
  if (used < 2 * block) {
    message[used] = 0x80;
    subkey = k2.data();
  }
  for (size_t i = 0; i < block; ++i) message[block + i] ^= subkey[i];

  std::array<uint8_t, kMaxBlock> chain{};
  for (size_t offset = 0; offset < 2 * block; offset += block) {
    for (size_t i = 0; i < block; ++i) chain[i] ^= message[offset + i];
    cipher.Encipher(chain.data());
  }
  std::memcpy(mac, chain.data(), block);
  SecureWipe(k1.data(), k1.size());
  SecureWipe(k2.data(), k2.size());
  SecureWipe(message.data(), message.size());
  SecureWipe(chain.data(), chain.size());
}

}  // namespace

size_t DiversifiedKeyLength(DiversifiedKeyType type) {
  return type == DiversifiedKeyType::kThreeKeyTdes ? 24 : 16;
}

size_t MaxDiversificationInput(DiversifiedKeyType type) {
  return type == DiversifiedKeyType::kAes128 ? 31 : 15;
}

std::vector<uint8_t> DiversificationInput(std::span<const uint8_t> uid,
                                          std::span<const uint8_t, 3> aid,
                                          std::span<const uint8_t> system_identifier) {
  std::vector<uint8_t> input(uid.begin(), uid.end());
  input.insert(input.end(), aid.begin(), aid.end());
  input.insert(input.end(), system_identifier.begin(), system_identifier.end());
  return input;
}

bool DiversifyKey(DiversifiedKeyType type, std::span<const uint8_t> master,
                  std::span<const uint8_t> input, uint8_t *derived) {
  if (derived == nullptr || master.size() != DiversifiedKeyLength(type) ||
      input.size() > MaxDiversificationInput(type)) {
    return false;
  }
  BlockCipher cipher(type, master.data());
  switch (type) {
    case DiversifiedKeyType::kAes128:
      TwoBlockCmac(cipher, 0x01, input, derived);
      break;
    case DiversifiedKeyType::kTwoKeyTdes:
      TwoBlockCmac(cipher, 0x21, input, derived);
      TwoBlockCmac(cipher, 0x22, input, derived + 8);
      break;
    case DiversifiedKeyType::kThreeKeyTdes:
      TwoBlockCmac(cipher, 0x31, input, derived);
      TwoBlockCmac(cipher, 0x32, input, derived + 8);
      TwoBlockCmac(cipher, 0x33, input, derived + 16);
      break;
  }
  return true;
}

void CarryKeyVersion(DiversifiedKeyType type, std::span<const uint8_t> master, uint8_t *derived) {
  if (type == DiversifiedKeyType::kAes128 || master.size() < 8 || derived == nullptr) return;
  for (size_t n = 0; n < 8; ++n) {
    const uint8_t version_bit = master[n] & 0x01;
    derived[n] = static_cast<uint8_t>((derived[n] & 0xFE) | version_bit);
    if (type == DiversifiedKeyType::kTwoKeyTdes) {
      derived[n + 8] = static_cast<uint8_t>((derived[n + 8] & 0xFE) | (version_bit ^ 0x01));
    }
  }
}

}  // namespace kovra::desfire
