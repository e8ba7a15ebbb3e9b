// DES, two- and three-key triple DES block operations on the key-schedule area of a DF8Crypt.
#include "desfire/des.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <utility>

#include "desfire/df8crypt.h"

namespace kovra::desfire {
namespace {

// The tables of the Data Encryption Standard (FIPS 46-3). Bit positions count from 1 at the most
// significant bit, as the standard prints them.
// clang-format off
constexpr uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2,
    60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6,
    64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17,  9, 1,
    59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5,
    63, 55, 47, 39, 31, 23, 15, 7};

constexpr uint8_t kPermutation[32] = {
    16,  7, 20, 21, 29, 12, 28, 17,
     1, 15, 23, 26,  5, 18, 31, 10,
     2,  8, 24, 14, 32, 27,  3,  9,
    19, 13, 30,  6, 22, 11,  4, 25};

// PC-1 leaves out bits 8, 16, ..., 64: the parity bits never reach the schedule.
constexpr uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17,  9,
     1, 58, 50, 42, 34, 26, 18,
    10,  2, 59, 51, 43, 35, 27,
    19, 11,  3, 60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15,
     7, 62, 54, 46, 38, 30, 22,
    14,  6, 61, 53, 45, 37, 29,
    21, 13,  5, 28, 20, 12,  4};

constexpr uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24,  1,  5,
     3, 28, 15,  6, 21, 10,
    23, 19, 12,  4, 26,  8,
    16,  7, 27, 20, 13,  2,
    41, 52, 31, 37, 47, 55,
    30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53,
    46, 42, 50, 36, 29, 32};

constexpr uint8_t kLeftShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S-boxes as printed: row (outer bits b1 b6) by column (inner bits b2..b5).
constexpr uint8_t kSBoxes[8][64] = {
    {14,  4, 13,  1,  2, 15, 11,  8,  3, 10,  6, 12,  5,  9,  0,  7,
      0, 15,  7,  4, 14,  2, 13,  1, 10,  6, 12, 11,  9,  5,  3,  8,
      4,  1, 14,  8, 13,  6,  2, 11, 15, 12,  9,  7,  3, 10,  5,  0,
     15, 12,  8,  2,  4,  9,  1,  7,  5, 11,  3, 14, 10,  0,  6, 13},
    {15,  1,  8, 14,  6, 11,  3,  4,  9,  7,  2, 13, 12,  0,  5, 10,
      3, 13,  4,  7, 15,  2,  8, 14, 12,  0,  1, 10,  6,  9, 11,  5,
      0, 14,  7, 11, 10,  4, 13,  1,  5,  8, 12,  6,  9,  3,  2, 15,
     13,  8, 10,  1,  3, 15,  4,  2, 11,  6,  7, 12,  0,  5, 14,  9},
    {10,  0,  9, 14,  6,  3, 15,  5,  1, 13, 12,  7, 11,  4,  2,  8,
     13,  7,  0,  9,  3,  4,  6, 10,  2,  8,  5, 14, 12, 11, 15,  1,
     13,  6,  4,  9,  8, 15,  3,  0, 11,  1,  2, 12,  5, 10, 14,  7,
      1, 10, 13,  0,  6,  9,  8,  7,  4, 15, 14,  3, 11,  5,  2, 12},
    { 7, 13, 14,  3,  0,  6,  9, 10,  1,  2,  8,  5, 11, 12,  4, 15,
     13,  8, 11,  5,  6, 15,  0,  3,  4,  7,  2, 12,  1, 10, 14,  9,
     10,  6,  9,  0, 12, 11,  7, 13, 15,  1,  3, 14,  5,  2,  8,  4,
      3, 15,  0,  6, 10,  1, 13,  8,  9,  4,  5, 11, 12,  7,  2, 14},
    { 2, 12,  4,  1,  7, 10, 11,  6,  8,  5,  3, 15, 13,  0, 14,  9,
     14, 11,  2, 12,  4,  7, 13,  1,  5,  0, 15, 10,  3,  9,  8,  6,
      4,  2,  1, 11, 10, 13,  7,  8, 15,  9, 12,  5,  6,  3,  0, 14,
     11,  8, 12,  7,  1, 14,  2, 13,  6, 15,  0,  9, 10,  4,  5,  3},
    {12,  1, 10, 15,  9,  2,  6,  8,  0, 13,  3,  4, 14,  7,  5, 11,
     10, 15,  4,  2,  7, 12,  9,  5,  6,  1, 13, 14,  0, 11,  3,  8,
      9, 14, 15,  5,  2,  8, 12,  3,  7,  0,  4, 10,  1, 13, 11,  6,
      4,  3,  2, 12,  9,  5, 15, 10, 11, 14,  1,  7,  6,  0,  8, 13},
    { 4, 11,  2, 14, 15,  0,  8, 13,  3, 12,  9,  7,  5, 10,  6,  1,
     13,  0, 11,  7,  4,  9,  1, 10, 14,  3,  5, 12,  2, 15,  8,  6,
      1,  4, 11, 13, 12,  3,  7, 14, 10, 15,  6,  8,  0,  5,  9,  2,
      6, 11, 13,  8,  1,  4, 10,  7,  9,  5,  0, 15, 14,  2,  3, 12},
    {13,  2,  8,  4,  6, 15, 11,  1, 10,  9,  3, 14,  5,  0, 12,  7,
      1, 15, 13,  8, 10,  3,  7,  4, 12,  5,  6, 11,  0, 14,  9,  2,
      7, 11,  4,  1,  9, 12, 14,  2,  0,  6, 10, 13, 15,  3,  5,  8,
      2,  1, 14,  7,  4, 10,  8, 13, 15, 12,  9,  0,  3,  5,  6, 11},
};
// clang-format on

// A typo in the S-boxes would still give a cipher, just not DES: every row must be a permutation
// of 0..15.
constexpr bool SBoxRowsArePermutations() {
  for (const auto &box : kSBoxes) {
    for (int row = 0; row < 4; ++row) {
      unsigned seen = 0;
      for (int col = 0; col < 16; ++col) seen |= 1u << box[row * 16 + col];
      if (seen != 0xFFFF) return false;
    }
  }
  return true;
}
static_assert(SBoxRowsArePermutations());

// Output bit j (from 1 at the top of an outBits-wide value) takes input bit table[j - 1] of an
// inBits-wide value. Used at compile time only: the tables below are built with it, and the fast
// paths are checked against it.
constexpr uint64_t Permute(uint64_t input, int inBits, const uint8_t *table, int outBits) {
  uint64_t output = 0;
  for (int j = 0; j < outBits; ++j) {
    const uint64_t bit = (input >> (inBits - table[j])) & 1u;
    output |= bit << (outBits - 1 - j);
  }
  return output;
}

// ---- Initial and final permutation -------------------------------------------------------------
//
// IP moves bits only between fixed positions, so it splits into five "swap-moves": each exchanges
// the bits selected by mask in b with the bits n places higher in a. A swap-move undoes itself,
// so the final permutation (the inverse of IP) is the same five in reverse order.

constexpr void SwapMove(uint32_t &a, uint32_t &b, unsigned n, uint32_t mask) {
  const uint32_t t = ((a >> n) ^ b) & mask;
  b ^= t;
  a ^= t << n;
}

// left and right are the block's two big-endian halves on entry, L0 and R0 on return.
constexpr void InitialPermutation(uint32_t &left, uint32_t &right) {
  SwapMove(left, right, 4, 0x0F0F0F0F);
  SwapMove(left, right, 16, 0x0000FFFF);
  SwapMove(right, left, 2, 0x33333333);
  SwapMove(right, left, 8, 0x00FF00FF);
  SwapMove(left, right, 1, 0x55555555);
}

constexpr void FinalPermutation(uint32_t &left, uint32_t &right) {
  SwapMove(left, right, 1, 0x55555555);
  SwapMove(right, left, 8, 0x00FF00FF);
  SwapMove(right, left, 2, 0x33333333);
  SwapMove(left, right, 16, 0x0000FFFF);
  SwapMove(left, right, 4, 0x0F0F0F0F);
}

constexpr std::array<uint8_t, 64> InvertPermutation(const uint8_t (&table)[64]) {
  std::array<uint8_t, 64> inverse{};
  for (int j = 0; j < 64; ++j) inverse[table[j] - 1] = static_cast<uint8_t>(j + 1);
  return inverse;
}

// Both permutations are linear maps on 64 bits, so agreeing with the printed tables on each of the
// 64 single-bit inputs proves they agree on every input.
constexpr bool SwapMovesMatchTheTables() {
  constexpr std::array<uint8_t, 64> kFinal = InvertPermutation(kInitialPermutation);
  for (int bit = 0; bit < 64; ++bit) {
    const uint64_t block = uint64_t{1} << bit;
    uint32_t left = static_cast<uint32_t>(block >> 32);
    uint32_t right = static_cast<uint32_t>(block);
    InitialPermutation(left, right);
    if (((uint64_t{left} << 32) | right) != Permute(block, 64, kInitialPermutation, 64)) {
      return false;
    }
    left = static_cast<uint32_t>(block >> 32);
    right = static_cast<uint32_t>(block);
    FinalPermutation(left, right);
    if (((uint64_t{left} << 32) | right) != Permute(block, 64, kFinal.data(), 64)) return false;
  }
  return true;
}
static_assert(SwapMovesMatchTheTables());

// ---- Round function ----------------------------------------------------------------------------
//
// Between IP and FP both halves are kept rotated right by one bit. Then the expansion E needs no
// bit gathering: E gives S-box group g (g = 0..7) R's bits 4g .. 4g + 5, numbered from 1 at the
// top as the standard does and wrapping around (bit 0 is bit 32, bit 33 is bit 1). With
// t = rotr(R, 1) those six bits sit in bits 31..26, 23..18, 15..10, 7..2 of t for g = 0, 2, 4, 6,
// and at the same places of rotl(t, 4) for g = 1, 3, 5, 7. The round keys are stored in that layout
// (see RoundKeyLayout), so one XOR per word lines the key bits up with the expanded half.

// kSp[g][x]: S-box g on the 6-bit group x, followed by P, rotated right by one bit like the halves.
// Each S-box only sets its own output bits, so the round function ORs eight lookups.
using SpTable = std::array<std::array<uint32_t, 64>, 8>;
constexpr SpTable BuildSpTable() {
  SpTable table{};
  for (int box = 0; box < 8; ++box) {
    for (int input = 0; input < 64; ++input) {
      const int row = ((input >> 4) & 2) | (input & 1);
      const int col = (input >> 1) & 0x0F;
      const uint64_t sOut = static_cast<uint64_t>(kSBoxes[box][row * 16 + col]) << (28 - 4 * box);
      table[box][input] = std::rotr(static_cast<uint32_t>(Permute(sOut, 32, kPermutation, 32)), 1);
    }
  }
  return table;
}
alignas(64) constexpr SpTable kSp = BuildSpTable();

// The Feistel function f(R, K) on the rotated half t = rotr(R, 1), giving rotr(f, 1).
inline uint32_t Feistel(uint32_t t, const uint32_t *roundKey) {
  const uint32_t even = t ^ roundKey[0];
  const uint32_t odd = std::rotl(t, 4) ^ roundKey[1];
  // ORed as a balanced tree rather than a chain of eight: the rounds depend on each other, so
  // their latency, not the number of instructions, sets the speed.
  const uint32_t s01 = kSp[0][even >> 26] | kSp[1][odd >> 26];
  const uint32_t s23 = kSp[2][(even >> 18) & 0x3F] | kSp[3][(odd >> 18) & 0x3F];
  const uint32_t s45 = kSp[4][(even >> 10) & 0x3F] | kSp[5][(odd >> 10) & 0x3F];
  const uint32_t s67 = kSp[6][(even >> 2) & 0x3F] | kSp[7][(odd >> 2) & 0x3F];
  return (s01 | s23) | (s45 | s67);
}

// Sixteen rounds with one schedule on the rotated halves (L0, R0), leaving (R16, L16): the
// pre-output block whose final permutation is the result. Since FP and the next IP cancel, triple
// DES feeds that straight into the next schedule.
inline void SixteenRounds(uint32_t &left, uint32_t &right, const uint32_t *schedule) {
  // Two rounds per pass keep the halves in place instead of swapping them every round.
  for (int round = 0; round < 16; round += 2) {
    left ^= Feistel(right, schedule + 2 * round);
    right ^= Feistel(left, schedule + 2 * round + 2);
  }
  std::swap(left, right);
}

// ---- Key schedule ------------------------------------------------------------------------------

// A bit permutation applied chunk by chunk: it is linear, so its result for an input is the OR of
// its results for each kChunkBits-wide chunk of the input alone, and one table per chunk position
// replaces the loop over the bits.
template <int kInBits, int kChunkBits>
class ChunkedPermutation {
 public:
  template <typename Map>
  constexpr explicit ChunkedPermutation(Map map) {
    for (int chunk = 0; chunk < kChunks; ++chunk) {
      for (uint64_t value = 0; value < kValues; ++value) {
        entries_[chunk][value] = map(value << (chunk * kChunkBits));
      }
    }
  }

  constexpr uint64_t operator()(uint64_t input) const {
    return Apply(input, std::make_index_sequence<kChunks>{});
  }

 private:
  // Spelled out per chunk (a fold rather than a loop) so that every shift is a constant and the
  // lookups need not wait for a loop counter.
  template <size_t... kChunk>
  constexpr uint64_t Apply(uint64_t input, std::index_sequence<kChunk...>) const {
    return (entries_[kChunk][(input >> (kChunk * kChunkBits)) & (kValues - 1)] | ...);
  }

  static_assert(kInBits % kChunkBits == 0);
  static constexpr int kChunks = kInBits / kChunkBits;
  static constexpr uint64_t kValues = uint64_t{1} << kChunkBits;
  std::array<std::array<uint64_t, kValues>, kChunks> entries_{};
};

// PC-1 on the 64-bit key (once per key), 16 tables of 16 entries.
constexpr ChunkedPermutation<64, 4> kPc1([](uint64_t key) {
  return Permute(key, 64, kPermutedChoice1, 56);
});

// A 48-bit round key in the two words the round function XORs in: S-box group g (6 bits, group 0
// at the top of the 48) goes to word g % 2 at bit 26 - 8 * (g / 2).
constexpr uint64_t RoundKeyLayout(uint64_t roundKey48) {
  uint32_t words[2] = {0, 0};
  for (int group = 0; group < 8; ++group) {
    const uint32_t bits = static_cast<uint32_t>(roundKey48 >> (42 - 6 * group)) & 0x3F;
    words[group % 2] |= bits << (26 - 8 * (group / 2));
  }
  return (uint64_t{words[0]} << 32) | words[1];
}

// PC-2 on C || D straight into that layout (16 times per key), 8 tables of 128 entries: each
// 28-bit half is four 7-bit chunks.
constexpr ChunkedPermutation<56, 7> kPc2([](uint64_t cd) {
  return RoundKeyLayout(Permute(cd, 56, kPermutedChoice2, 48));
});

constexpr size_t kWordsPerSchedule = 32;  // 16 rounds, two words each

uint32_t LoadBigEndian32(const uint8_t *bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         bytes[3];
}

void StoreBigEndian32(uint32_t value, uint8_t *bytes) {
  bytes[0] = static_cast<uint8_t>(value >> 24);
  bytes[1] = static_cast<uint8_t>(value >> 16);
  bytes[2] = static_cast<uint8_t>(value >> 8);
  bytes[3] = static_cast<uint8_t>(value);
}

// Writes the sixteen round keys of key8 (in RoundKeyLayout, two words each) into schedule, in round
// order for enciphering and in reverse order for deciphering.
void BuildSchedule(const uint8_t *key8, des::Direction direction, uint32_t *schedule) {
  constexpr uint32_t kMask28 = 0x0FFFFFFF;
  const uint64_t key = (uint64_t{LoadBigEndian32(key8)} << 32) | LoadBigEndian32(key8 + 4);
  const uint64_t permuted = kPc1(key);
  uint32_t c = static_cast<uint32_t>(permuted >> 28) & kMask28;
  uint32_t d = static_cast<uint32_t>(permuted) & kMask28;
  for (int round = 0; round < 16; ++round) {
    const unsigned shift = kLeftShifts[round];
    c = ((c << shift) | (c >> (28 - shift))) & kMask28;
    d = ((d << shift) | (d >> (28 - shift))) & kMask28;
    const uint64_t roundKey = kPc2((uint64_t{c} << 28) | d);
    const int slot = direction == des::Direction::Encipher ? round : 15 - round;
    schedule[2 * slot] = static_cast<uint32_t>(roundKey >> 32);
    schedule[2 * slot + 1] = static_cast<uint32_t>(roundKey);
  }
}

des::Direction Opposite(des::Direction direction) {
  return direction == des::Direction::Encipher ? des::Direction::Decipher
                                               : des::Direction::Encipher;
}

}  // namespace

void des::SetKey(const uint8_t *key8, Direction direction) {
  BuildSchedule(key8, direction, context_.schedule_.data());
  schedules_ = 1;
}

void des::Set2Key(const uint8_t *key16, Direction direction) {
  // The context wipes as much of its schedule area as it expects des to fill.
  static_assert(kWordsPerSchedule == DF8Crypt::kDesScheduleWords);
  static_assert(3 * kWordsPerSchedule <= DF8Crypt::kScheduleWords);
  uint32_t *area = context_.schedule_.data();
  BuildSchedule(key16, direction, area);
  BuildSchedule(key16 + 8, Opposite(direction), area + kWordsPerSchedule);
  // The third schedule is the first one again: copying it is cheaper than deriving it twice.
  std::copy_n(area, kWordsPerSchedule, area + 2 * kWordsPerSchedule);
  schedules_ = 3;
}

void des::Set3Key(const uint8_t *key24, Direction direction) {
  uint32_t *area = context_.schedule_.data();
  // Enciphering runs K1, K2 backwards, K3; deciphering undoes that from the last key on.
  const bool encipher = direction == Direction::Encipher;
  BuildSchedule(encipher ? key24 : key24 + 16, direction, area);
  BuildSchedule(key24 + 8, Opposite(direction), area + kWordsPerSchedule);
  BuildSchedule(encipher ? key24 + 16 : key24, direction, area + 2 * kWordsPerSchedule);
  schedules_ = 3;
}

bool des::CryptBlock(const uint8_t *input, uint8_t *output) {
  if (schedules_ == 0) return false;
  uint32_t left = LoadBigEndian32(input);
  uint32_t right = LoadBigEndian32(input + 4);
  InitialPermutation(left, right);
  left = std::rotr(left, 1);
  right = std::rotr(right, 1);
  const uint32_t *schedule = context_.schedule_.data();
  for (int i = 0; i < schedules_; ++i) SixteenRounds(left, right, schedule + i * kWordsPerSchedule);
  left = std::rotl(left, 1);
  right = std::rotl(right, 1);
  FinalPermutation(left, right);
  StoreBigEndian32(left, output);
  StoreBigEndian32(right, output + 4);
  return true;
}

}  // namespace kovra::desfire
