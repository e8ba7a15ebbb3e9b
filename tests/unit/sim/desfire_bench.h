// A simulated DESFire card with the test reader in front of it, and the set-ups the card tests
// share.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sim/desfire/desfire_card.h"
#include "unit/reader/hex.h"
#include "unit/sim/desfire_pcd.h"

namespace desfire_test {

inline const Bytes kZeroKey(16, 0);

struct Bench {
  explicit Bench(kovra_sim::DesfireCardOptions options = {})
      : card(kovra_test::Hex("04 11 22 33 44 55 66"), std::move(options)), pcd(card) {}

  // The answer frame of one raw command, as hex.
  std::string Frame(const std::string &hex) {
    return kovra_test::ToHex(card.Exchange(kovra_test::Hex(hex)));
  }
  uint8_t Status(const std::string &hex) { return card.Exchange(kovra_test::Hex(hex)).at(0); }

  // Creates an application with `keys` keys (AES when `aes`, else DES) and key settings `ks1`
  // without a session (the factory card allows free create), and selects it.
  void CreateAndSelect(uint32_t aid, bool aes, uint8_t keys, uint8_t ks1 = 0x0F) {
    const Bytes create =
        Cat(Cat({0xCA}, Le24(aid)), {ks1, static_cast<uint8_t>((aes ? 0x80 : 0x00) | keys)});
    ASSERT_EQ(pcd.Run(create).status, 0x00);
    Select(aid);
  }
  void Select(uint32_t aid) {
    pcd.Forget();
    ASSERT_EQ(pcd.Raw(Cat({0x5A}, Le24(aid))).status, 0x00);
  }
  // Sets key `number` of application `aid` directly.
  void SetKey(uint32_t aid, uint8_t number, const Bytes &key) {
    card.EditContent().Application(aid)->keys.at(number).bytes = key;
  }
  // CreateStdDataFile inside the selected application.
  uint8_t CreateFile(uint8_t number, uint8_t comm, uint16_t access, uint32_t size) {
    const Bytes frame =
        Cat({0xCD, number, comm, static_cast<uint8_t>(access), static_cast<uint8_t>(access >> 8)},
            Le24(size));
    return pcd.Run(frame).status;
  }
  // GetFreeMemory as the test reader sees it: 4 bytes without a session, 12 with its MAC.
  size_t FreeMemoryAnswerLength() { return card.Exchange({0x6E}).size(); }

  kovra_sim::DesfireCard card;
  Pcd pcd;
};

}  // namespace desfire_test
