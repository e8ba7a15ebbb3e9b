// The exported key derivation: a card's own key from a master key and the card's identity. No
// port is involved, so a refusal leaves no last error anywhere and is told by the result alone.
#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "api/api_guard.h"
#include "desfire/key_diversification.h"
#include "kovra.h"

namespace df = kovra::desfire;

namespace {

bool TypeOf(int key_type, df::DiversifiedKeyType &type) {
  switch (key_type) {
    case KOVRA_DIVERSIFY_AES128:
      type = df::DiversifiedKeyType::kAes128;
      return true;
    case KOVRA_DIVERSIFY_2K3DES:
      type = df::DiversifiedKeyType::kTwoKeyTdes;
      return true;
    case KOVRA_DIVERSIFY_3K3DES:
      type = df::DiversifiedKeyType::kThreeKeyTdes;
      return true;
    default:
      return false;
  }
}

std::span<const uint8_t> Bytes(const unsigned char *bytes, int length) {
  if (bytes == nullptr || length <= 0) return {};
  return {bytes, static_cast<size_t>(length)};
}

}  // namespace

extern "C" {

KOVRA_API int KOVRA_DESFireDiversifyKey(int key_type, const unsigned char *master,
                                        int master_length, const unsigned char *uid, int uid_length,
                                        int aid, const unsigned char *system_id,
                                        int system_id_length, unsigned char *derived, int size) {
  return kovra::Guarded(-1, [&] {
    df::DiversifiedKeyType type{};
    if (!TypeOf(key_type, type) || derived == nullptr) return -1;
    const size_t key_length = df::DiversifiedKeyLength(type);
    const std::span<const uint8_t> master_key = Bytes(master, master_length);
    const std::span<const uint8_t> card_uid = Bytes(uid, uid_length);
    if (master_key.size() != key_length || card_uid.empty() || size < 0 ||
        static_cast<size_t>(size) < key_length) {
      return -1;
    }
    const auto aid_bits = static_cast<uint32_t>(aid);
    const std::array<uint8_t, 3> aid_as_sent = {static_cast<uint8_t>(aid_bits),
                                                static_cast<uint8_t>(aid_bits >> 8),
                                                static_cast<uint8_t>(aid_bits >> 16)};
    const std::vector<uint8_t> input =
        df::DiversificationInput(card_uid, aid_as_sent, Bytes(system_id, system_id_length));
    std::array<uint8_t, 24> key{};
    if (!df::DiversifyKey(type, master_key, input, key.data())) return -1;
    df::CarryKeyVersion(type, master_key, key.data());
    std::memcpy(derived, key.data(), key_length);
    return static_cast<int>(key_length);
  });
}

}  // extern "C"
