#include "desfire/des.h"

#include <array>
#include <cstddef>

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
// inBits-wide value.
constexpr uint64_t Permute(uint64_t input, int inBits, const uint8_t *table, int outBits) {
  uint64_t output = 0;
  for (int j = 0; j < outBits; ++j) {
    const uint64_t bit = (input >> (inBits - table[j])) & 1u;
    output |= bit << (outBits - 1 - j);
  }
  return output;
}

constexpr std::array<uint8_t, 64> InvertPermutation(const uint8_t (&table)[64]) {
  std::array<uint8_t, 64> inverse{};
  for (int j = 0; j < 64; ++j) inverse[table[j] - 1] = static_cast<uint8_t>(j + 1);
  return inverse;
}
constexpr std::array<uint8_t, 64> kFinalPermutation = InvertPermutation(kInitialPermutation);

// S-box i followed by the permutation P, for each 6-bit input: the round function then needs one
// lookup per S-box and ORs the results.
using SpTable = std::array<std::array<uint32_t, 64>, 8>;
constexpr SpTable BuildSpTable() {
  SpTable table{};
  for (int box = 0; box < 8; ++box) {
    for (int input = 0; input < 64; ++input) {
      const int row = ((input >> 4) & 2) | (input & 1);
      const int col = (input >> 1) & 0x0F;
      const uint64_t sOut = static_cast<uint64_t>(kSBoxes[box][row * 16 + col]) << (28 - 4 * box);
      table[box][input] = static_cast<uint32_t>(Permute(sOut, 32, kPermutation, 32));
    }
  }
  return table;
}
constexpr SpTable kSp = BuildSpTable();

constexpr size_t kWordsPerSchedule = 32;  // 16 rounds, two words each

uint32_t RotateLeft(uint32_t value, unsigned count) {
  count &= 31;
  return count == 0 ? value : (value << count) | (value >> (32 - count));
}

uint64_t LoadBigEndian64(const uint8_t *bytes) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
  return value;
}

void StoreBigEndian64(uint64_t value, uint8_t *bytes) {
  for (int i = 7; i >= 0; --i) {
    bytes[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

// Writes the sixteen 48-bit round keys of key8 into schedule, in round order for enciphering and
// in reverse order for deciphering. Each round key takes two words holding its eight 6-bit groups
// (one per S-box) in the low six bits of each byte, groups 1-4 in the first word, 5-8 in the
// second.
void BuildSchedule(const uint8_t *key8, des::Direction direction, uint32_t *schedule) {
  constexpr uint32_t kMask28 = 0x0FFFFFFF;
  const uint64_t permuted = Permute(LoadBigEndian64(key8), 64, kPermutedChoice1, 56);
  uint32_t c = static_cast<uint32_t>(permuted >> 28) & kMask28;
  uint32_t d = static_cast<uint32_t>(permuted) & kMask28;
  for (int round = 0; round < 16; ++round) {
    const unsigned shift = kLeftShifts[round];
    c = ((c << shift) | (c >> (28 - shift))) & kMask28;
    d = ((d << shift) | (d >> (28 - shift))) & kMask28;
    const uint64_t roundKey =
        Permute((static_cast<uint64_t>(c) << 28) | d, 56, kPermutedChoice2, 48);
    uint32_t words[2] = {0, 0};
    for (int group = 0; group < 8; ++group) {
      const uint32_t bits = static_cast<uint32_t>(roundKey >> (42 - 6 * group)) & 0x3F;
      words[group / 4] |= bits << (24 - 8 * (group % 4));
    }
    const int slot = direction == des::Direction::Encipher ? round : 15 - round;
    schedule[2 * slot] = words[0];
    schedule[2 * slot + 1] = words[1];
  }
}

// The Feistel function: expansion E (group i takes bits 4i..4i+5 of r, wrapping around), XOR with
// the round key, S-boxes and P.
uint32_t Feistel(uint32_t r, const uint32_t *roundKey) {
  uint32_t result = 0;
  for (unsigned group = 0; group < 8; ++group) {
    const uint32_t expanded = (RotateLeft(r, 4 * group + 31) >> 26) & 0x3F;
    const uint32_t keyBits = (roundKey[group / 4] >> (24 - 8 * (group % 4))) & 0x3F;
    result |= kSp[group][expanded ^ keyBits];
  }
  return result;
}

uint64_t CryptWithSchedule(uint64_t block, const uint32_t *schedule) {
  const uint64_t permuted = Permute(block, 64, kInitialPermutation, 64);
  uint32_t left = static_cast<uint32_t>(permuted >> 32);
  uint32_t right = static_cast<uint32_t>(permuted);
  for (int round = 0; round < 16; ++round) {
    const uint32_t next = left ^ Feistel(right, schedule + 2 * round);
    left = right;
    right = next;
  }
  // The halves are swapped once more before the final permutation.
  const uint64_t preOutput = (static_cast<uint64_t>(right) << 32) | left;
  return Permute(preOutput, 64, kFinalPermutation.data(), 64);
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
  uint32_t *area = context_.schedule_.data();
  BuildSchedule(key16, direction, area);
  BuildSchedule(key16 + 8, Opposite(direction), area + kWordsPerSchedule);
  BuildSchedule(key16, direction, area + 2 * kWordsPerSchedule);
  schedules_ = 3;
}

bool des::CryptBlock(const uint8_t *input, uint8_t *output) {
  if (schedules_ == 0) return false;
  uint64_t block = LoadBigEndian64(input);
  for (int i = 0; i < schedules_; ++i) {
    block = CryptWithSchedule(block, context_.schedule_.data() + i * kWordsPerSchedule);
  }
  StoreBigEndian64(block, output);
  return true;
}

}  // namespace kovra::desfire
