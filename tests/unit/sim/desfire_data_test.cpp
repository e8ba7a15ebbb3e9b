// ReadData and WriteData on the simulated DESFire card: every communication mode with AES and
// 3DES sessions, the rule that picks the mode from the access rights, tampered data, and data
// that span several frames.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "sim/desfire/data_access.h"
#include "unit/sim/desfire_bench.h"

namespace {

using desfire_test::Bench;
using desfire_test::Bytes;
using desfire_test::Cat;
using desfire_test::Cipher;
using desfire_test::Le24;
using kovra_test::Hex;

constexpr uint32_t kAid = 0x00C0DE;
const Bytes kAesRead = Hex("10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F");
const Bytes kAesWrite = Hex("20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F");
const Bytes k3desRead = Hex("01 23 45 67 89 AB CD EF FE DC BA 98 76 54 32 10");
const Bytes k3desWrite = Hex("0F 1E 2D 3C 4B 5A 69 78 87 96 A5 B4 C3 D2 E1 F0");

Bytes Pattern(size_t count, uint8_t seed) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + 7 * i);
  return bytes;
}

// An application with keys 1 (read) and 2 (write) set, and file 1 with read right 1, write
// right 2, no read/write right, in communication setting `comm`.
void MakeFileApp(Bench &bench, bool aes, uint8_t comm, uint32_t size, uint16_t access = 0x12F0) {
  bench.CreateAndSelect(kAid, aes, 3);
  bench.SetKey(kAid, 1, aes ? kAesRead : k3desRead);
  bench.SetKey(kAid, 2, aes ? kAesWrite : k3desWrite);
  ASSERT_EQ(bench.CreateFile(1, comm, access, size), 0x00);
}

struct ModeCase {
  bool aes;
  uint8_t comm;         // the file's communication setting
  uint8_t reader_mode;  // what the reader must do: 0 plain, 1 MAC, 3 enciphered
};

TEST(SimDesfireDataTest, DataTravelInTheFilesModeForTheKeyThatHoldsTheRight) {
  const ModeCase cases[] = {
      {true, 0, 0},  {true, 1, 1},  {true, 2, 0},  {true, 3, 3},
      {false, 0, 0}, {false, 1, 1}, {false, 3, 3},
  };
  for (const ModeCase &c : cases) {
    const std::string what =
        std::string(c.aes ? "AES" : "3DES") + ", communication " + std::to_string(c.comm);
    Bench bench;
    MakeFileApp(bench, c.aes, c.comm, 120);
    const Cipher cipher = c.aes ? Cipher::kAes : Cipher::k3des;
    const Bytes data = Pattern(100, c.comm);  // three frames in every mode
    ASSERT_EQ(bench.pcd.Authenticate(cipher, 2, c.aes ? kAesWrite : k3desWrite), 0x00) << what;
    EXPECT_EQ(bench.pcd.Write(1, 7, data, c.reader_mode).status, 0x00) << what;
    const Bytes &stored = bench.card.Application(kAid)->files[0].data;
    EXPECT_EQ(Bytes(stored.begin() + 7, stored.begin() + 107), data) << what;
    EXPECT_EQ(stored[6], 0x00) << what;

    ASSERT_EQ(bench.pcd.Authenticate(cipher, 1, c.aes ? kAesRead : k3desRead), 0x00) << what;
    const auto read = bench.pcd.Read(1, 7, 100, c.reader_mode);
    EXPECT_EQ(read.status, 0x00) << what;
    EXPECT_EQ(read.data, data) << what;
    // Both sides are still in one chain.
    EXPECT_EQ(bench.card.Session()->iv, bench.pcd.Iv()) << what;
  }
}

struct AccessCase {
  uint8_t right;
  uint8_t read_write;
  std::optional<uint8_t> authenticated;
  uint8_t comm;
  uint8_t status;
  uint8_t mode;
};

TEST(SimDesfireDataTest, TheModeFollowsTheFileOnlyForAKeyThatHoldsTheRight) {
  const AccessCase cases[] = {
      {1, 2, 1, 3, 0x00, 3},               // the right's own key
      {1, 2, 2, 1, 0x00, 1},               // the read/write key
      {0, 0xF, 0, 3, 0x00, 3},             // the master key as a right
      {1, 2, 2, 2, 0x00, 0},               // setting 2 is plain
      {0xE, 2, std::nullopt, 3, 0x00, 0},  // free, nobody authenticated
      {0xE, 2, 5, 3, 0x00, 0},             // free, authenticated with a key that holds nothing
      {0xE, 2, 2, 3, 0x00, 3},             // free, but the authenticated key holds the right
      {1, 0xE, 3, 1, 0x00, 0},             // free read/write right
      {1, 2, std::nullopt, 0, 0xAE, 0},    // a key would do, none authenticated
      {1, 2, 3, 0, 0xAE, 0},               // another key authenticated
      {0xF, 2, std::nullopt, 0, 0xAE, 0},
      {0xF, 0xF, 1, 0, 0x9D, 0},  // nobody may
  };
  for (const AccessCase &c : cases) {
    const kovra_sim::DataAccess access =
        kovra_sim::DecideDataAccess(c.right, c.read_write, c.authenticated, c.comm);
    const std::string what = "right " + std::to_string(c.right) + ", read/write " +
                             std::to_string(c.read_write) + ", key " +
                             (c.authenticated ? std::to_string(*c.authenticated) : "none");
    EXPECT_EQ(access.status, c.status) << what;
    if (c.status == 0) {
      EXPECT_EQ(access.mode, c.mode) << what;
    }
  }
}

TEST(SimDesfireDataTest, AFreeReadIsPlainUnlessTheAuthenticatedKeyHoldsARight) {
  Bench bench;
  MakeFileApp(bench, true, 3, 8, 0xE210);  // read free, write key 2, read/write key 1
  bench.card.EditContent().Application(kAid)->files[0].data = Hex("01 02 03 04 05 06 07 08");
  // Nobody authenticated: the bytes as they are, no MAC.
  EXPECT_EQ(bench.Frame("BD 01 02 00 00 03 00 00"), "00 03 04 05");
  // Write key 2 holds no read right: plain data, with the session's answer MAC.
  ASSERT_EQ(bench.pcd.Authenticate(Cipher::kAes, 2, kAesWrite), 0x00);
  EXPECT_EQ(bench.pcd.Read(1, 2, 3, 0).data, Hex("03 04 05"));
  // ... but it holds the write right: the write goes enciphered.
  EXPECT_EQ(bench.pcd.Write(1, 0, Hex("AA"), 3).status, 0x00);
  // Key 1 (read/write) reads in the file's mode, enciphered.
  bench.SetKey(kAid, 1, kAesRead);
  ASSERT_EQ(bench.pcd.Authenticate(Cipher::kAes, 1, kAesRead), 0x00);
  EXPECT_EQ(bench.pcd.Read(1, 0, 3, 3).data, Hex("AA 02 03"));
  // Without a session the write right is not free.
  bench.Select(kAid);
  EXPECT_EQ(bench.Frame("3D 01 00 00 00 01 00 00 BB"), "AE");
}

TEST(SimDesfireDataTest, TamperedWritesAreRefusedAndWriteNothing) {
  struct Tamper {
    const char *what;
    uint8_t comm;
    std::function<Bytes(desfire_test::Pcd &, const Bytes &header, const Bytes &data)> stream;
  };
  const Tamper cases[] = {
      {"wrong MAC", 1,
       [](desfire_test::Pcd &pcd, const Bytes &header, const Bytes &data) {
         Bytes mac = pcd.Mac(Cat(header, data));
         mac[7] ^= 0x01;
         return Cat(data, mac);
       }},
      {"MAC over the data alone", 1,
       [](desfire_test::Pcd &pcd, const Bytes &, const Bytes &data) {
         return Cat(data, pcd.Mac(data));
       }},
      {"CRC over the data alone", 3,
       [](desfire_test::Pcd &pcd, const Bytes &, const Bytes &data) {
         Bytes plain = data;
         desfire_test::AppendCrc(plain, data);
         plain.resize(16, 0);
         return pcd.Encipher(plain);
       }},
      {"padding not zero", 3,
       [](desfire_test::Pcd &pcd, const Bytes &header, const Bytes &data) {
         Bytes plain = data;
         desfire_test::AppendCrc(plain, Cat(header, data));
         plain.push_back(0x80);
         plain.resize(16, 0);
         return pcd.Encipher(plain);
       }},
  };
  for (const Tamper &c : cases) {
    Bench bench;
    MakeFileApp(bench, true, c.comm, 16);
    ASSERT_EQ(bench.pcd.Authenticate(Cipher::kAes, 2, kAesWrite), 0x00) << c.what;
    const Bytes header = Hex("3D 01 00 00 00 04 00 00");
    const Bytes data = Hex("11 22 33 44");
    EXPECT_EQ(bench.card.Exchange(Cat(header, c.stream(bench.pcd, header, data))), Bytes{0x1E})
        << c.what;
    EXPECT_EQ(bench.card.Application(kAid)->files[0].data, Bytes(16, 0)) << c.what;
    EXPECT_FALSE(bench.card.Session()) << c.what;
  }
}

TEST(SimDesfireDataTest, LongDataTravelInFramesOfAtMostSixtyBytes) {
  Bench bench;
  MakeFileApp(bench, true, 0, 200, 0xEEEE);
  // A first frame with 53 data bytes is one byte too long.
  EXPECT_EQ(bench.Status("3D 01 00 00 00 96 00 00 " + kovra_test::ToHex(Pattern(53, 1))), 0x7E);
  const Bytes data = Pattern(150, 1);
  ASSERT_EQ(bench.pcd.Write(1, 0, data, 0).status, 0x00);
  // 150 bytes come back in frames of 59, 59 and 32 data bytes.
  Bytes frame = bench.card.Exchange(Hex("BD 01 00 00 00 96 00 00"));
  EXPECT_EQ(frame.size(), 60u);
  EXPECT_EQ(frame[0], 0xAF);
  Bytes joined(frame.begin() + 1, frame.end());
  frame = bench.card.Exchange({0xAF});
  EXPECT_EQ(frame.size(), 60u);
  joined.insert(joined.end(), frame.begin() + 1, frame.end());
  frame = bench.card.Exchange({0xAF});
  EXPECT_EQ(frame.size(), 33u);
  EXPECT_EQ(frame[0], 0x00);
  joined.insert(joined.end(), frame.begin() + 1, frame.end());
  EXPECT_EQ(joined, data);
  // Length 0 reads to the end of the file.
  const auto rest = bench.pcd.Raw(Hex("BD 01 0A 00 00 00 00 00"));
  EXPECT_EQ(rest.status, 0x00);
  EXPECT_EQ(rest.data.size(), 190u);
  EXPECT_EQ(Bytes(rest.data.begin(), rest.data.begin() + 140),
            Bytes(data.begin() + 10, data.end()));
}

}  // namespace
