// The exported key derivation: the published examples through the C function, the AID as the
// card is sent it, and the refusals that leave the caller's buffer untouched.
#include <gtest/gtest.h>

#include <vector>

#include "kovra.h"
#include "unit/reader/hex.h"

namespace {

using kovra_test::Hex;
using kovra_test::ToHex;

const std::vector<uint8_t> kUid = Hex("04782E21801D80");
constexpr int kAid = 0xF54230;  // sent as 30 42 F5

int Diversify(int type, const std::vector<uint8_t> &master, const std::vector<uint8_t> &uid,
              const char *system, std::vector<uint8_t> &out) {
  const std::string id = system;
  return KOVRA_DESFireDiversifyKey(
      type, master.data(), static_cast<int>(master.size()), uid.data(),
      static_cast<int>(uid.size()), kAid, reinterpret_cast<const unsigned char *>(id.data()),
      static_cast<int>(id.size()), out.data(), static_cast<int>(out.size()));
}

TEST(DiversifyKeyApi, GivesThePublishedKeysInTheFormTheCardStores) {
  const struct {
    int type;
    const char *master;
    const char *system;
    const char *derived;
  } examples[] = {
      {KOVRA_DIVERSIFY_AES128, "00112233445566778899AABBCCDDEEFF", "NXP Abu",
       "A8DD63A3B89D54B37CA802473FDA9175"},
      {KOVRA_DIVERSIFY_2K3DES, "00112233445566778899AABBCCDDEEFF", "NXP A",
       "16F9587D9E8910C96B9649D007107DD6"},
      {KOVRA_DIVERSIFY_3K3DES, "00112233445566778899AABBCCDDEEFF0102030405060708", "NXP",
       "2E0DD03774D3FA9B5705AB0BDA91CA0B55B8E07FCDBF10EC"},
  };
  for (const auto &e : examples) {
    SCOPED_TRACE(e.derived);
    std::vector<uint8_t> out(24, 0xEE);
    const std::vector<uint8_t> expected = Hex(e.derived);
    ASSERT_EQ(Diversify(e.type, Hex(e.master), kUid, e.system, out),
              static_cast<int>(expected.size()));
    out.resize(expected.size());
    EXPECT_EQ(ToHex(out), ToHex(expected));
  }
}

TEST(DiversifyKeyApi, RefusesWhatItCannotDeriveAndLeavesTheBufferAlone) {
  const std::vector<uint8_t> master16(16, 0x11);
  const struct {
    const char *what;
    int type;
    std::vector<uint8_t> master;
    std::vector<uint8_t> uid;
    const char *system;
    size_t buffer;
  } cases[] = {
      {"unknown type", 3, master16, kUid, "", 16},
      {"master of the wrong length", KOVRA_DIVERSIFY_3K3DES, master16, kUid, "", 24},
      {"no UID", KOVRA_DIVERSIFY_AES128, master16, {}, "", 16},
      {"input past 31 bytes", KOVRA_DIVERSIFY_AES128, master16, kUid, "0123456789ABCDEFGHIJKL", 16},
      {"input past 15 bytes", KOVRA_DIVERSIFY_2K3DES, master16, kUid, "NXP AB", 16},
      {"buffer too small", KOVRA_DIVERSIFY_AES128, master16, kUid, "", 15},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> out(c.buffer, 0xEE);
    EXPECT_EQ(Diversify(c.type, c.master, c.uid, c.system, out), -1);
    EXPECT_EQ(out, std::vector<uint8_t>(c.buffer, 0xEE));
  }
  std::vector<uint8_t> fits(16);
  EXPECT_EQ(Diversify(KOVRA_DIVERSIFY_AES128, master16, kUid, "0123456789ABCDEFGHIJK", fits), 16);
}

}  // namespace
