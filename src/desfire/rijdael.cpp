#include "desfire/rijdael.h"

#include <array>
#include <cstring>

#include "desfire/df8crypt.h"

namespace kovra::desfire {
namespace {

constexpr size_t kBlock = 16;
constexpr int kRounds = 10;
constexpr size_t kRoundKeyWords = 4 * (kRounds + 1);
static_assert(kRoundKeyWords <= DF8Crypt::kScheduleWords);

// Multiplication by x in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1, without a data-dependent branch.
constexpr uint8_t Xtime(uint8_t a) {
  return static_cast<uint8_t>((a << 1) ^ (0x1B & (0u - (a >> 7))));
}

constexpr uint8_t Multiply(uint8_t a, uint8_t b) {
  uint8_t product = 0;
  for (int bit = 0; bit < 8; ++bit) {
    product ^= static_cast<uint8_t>(a & (0u - ((b >> bit) & 1u)));
    a = Xtime(a);
  }
  return product;
}

// The S-box is derived rather than typed in: the multiplicative inverse followed by the affine map
// of FIPS-197 5.1.1. The inverse comes from powers of the generator 3: 3^i has the inverse
// 3^(255 - i), and 0 maps to 0.
using ByteTable = std::array<uint8_t, 256>;
constexpr ByteTable BuildSBox() {
  ByteTable power{};      // power[i] = 3^i
  ByteTable logarithm{};  // logarithm[3^i] = i
  uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    power[i] = x;
    logarithm[x] = static_cast<uint8_t>(i);
    x = static_cast<uint8_t>(x ^ Xtime(x));
  }
  ByteTable box{};
  for (int value = 0; value < 256; ++value) {
    const uint8_t inverse = value == 0 ? 0 : power[(255 - logarithm[value]) % 255];
    auto rotl = [](uint8_t byte, int n) {
      return static_cast<uint8_t>((byte << n) | (byte >> (8 - n)));
    };
    box[value] = static_cast<uint8_t>(inverse ^ rotl(inverse, 1) ^ rotl(inverse, 2) ^
                                      rotl(inverse, 3) ^ rotl(inverse, 4) ^ 0x63);
  }
  return box;
}
constexpr ByteTable kSBox = BuildSBox();

constexpr ByteTable BuildInverseSBox() {
  ByteTable inverse{};
  for (int value = 0; value < 256; ++value) inverse[kSBox[value]] = static_cast<uint8_t>(value);
  return inverse;
}
constexpr ByteTable kInverseSBox = BuildInverseSBox();

// Spot checks against the table printed in FIPS-197 (Figure 7).
static_assert(kSBox[0x00] == 0x63 && kSBox[0x01] == 0x7C && kSBox[0x53] == 0xED &&
              kSBox[0xFF] == 0x16);
static_assert(kInverseSBox[0x63] == 0x00 && kInverseSBox[0x16] == 0xFF);

uint32_t SubWord(uint32_t word) {
  return (static_cast<uint32_t>(kSBox[word >> 24]) << 24) |
         (static_cast<uint32_t>(kSBox[(word >> 16) & 0xFF]) << 16) |
         (static_cast<uint32_t>(kSBox[(word >> 8) & 0xFF]) << 8) | kSBox[word & 0xFF];
}

// The state is the block in input order: byte 4c + r is row r of column c.
void AddRoundKey(uint8_t *state, const uint32_t *roundKey) {
  for (int column = 0; column < 4; ++column) {
    const uint32_t word = roundKey[column];
    state[4 * column] ^= static_cast<uint8_t>(word >> 24);
    state[4 * column + 1] ^= static_cast<uint8_t>(word >> 16);
    state[4 * column + 2] ^= static_cast<uint8_t>(word >> 8);
    state[4 * column + 3] ^= static_cast<uint8_t>(word);
  }
}

void SubBytes(uint8_t *state, const ByteTable &box) {
  for (size_t i = 0; i < kBlock; ++i) state[i] = box[state[i]];
}

// Row r moves r columns to the left (or to the right when inverting).
void ShiftRows(uint8_t *state, bool inverse) {
  uint8_t shifted[kBlock];
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      const int source = inverse ? (column + 4 - row) % 4 : (column + row) % 4;
      shifted[4 * column + row] = state[4 * source + row];
    }
  }
  std::memcpy(state, shifted, kBlock);
}

// Multiplies each column by the circulant matrix whose first row is coefficients.
void MixColumnsWith(uint8_t *state, const uint8_t (&coefficients)[4]) {
  for (int column = 0; column < 4; ++column) {
    uint8_t *a = state + 4 * column;
    uint8_t mixed[4];
    for (int row = 0; row < 4; ++row) {
      mixed[row] = 0;
      for (int k = 0; k < 4; ++k) mixed[row] ^= Multiply(coefficients[(k - row + 4) % 4], a[k]);
    }
    std::memcpy(a, mixed, 4);
  }
}
constexpr uint8_t kMix[4] = {2, 3, 1, 1};
constexpr uint8_t kInverseMix[4] = {14, 11, 13, 9};

void XorBlock(uint8_t *target, const uint8_t *with) {
  for (size_t i = 0; i < kBlock; ++i) target[i] ^= with[i];
}

}  // namespace

void rijdael::SetKey(const uint8_t *key16) {
  uint32_t *w = context_.schedule_.data();
  for (int i = 0; i < 4; ++i) {
    w[i] = (static_cast<uint32_t>(key16[4 * i]) << 24) |
           (static_cast<uint32_t>(key16[4 * i + 1]) << 16) |
           (static_cast<uint32_t>(key16[4 * i + 2]) << 8) | key16[4 * i + 3];
  }
  uint8_t roundConstant = 0x01;
  for (size_t i = 4; i < kRoundKeyWords; ++i) {
    uint32_t temp = w[i - 1];
    if (i % 4 == 0) {
      temp = SubWord((temp << 8) | (temp >> 24)) ^ (static_cast<uint32_t>(roundConstant) << 24);
      roundConstant = Xtime(roundConstant);
    }
    w[i] = w[i - 4] ^ temp;
  }
  keySet_ = true;
}

bool rijdael::EncryptBlock(uint8_t *block) {
  if (!keySet_) return false;
  const uint32_t *w = context_.schedule_.data();
  AddRoundKey(block, w);
  for (int round = 1; round <= kRounds; ++round) {
    SubBytes(block, kSBox);
    ShiftRows(block, false);
    if (round != kRounds) MixColumnsWith(block, kMix);
    AddRoundKey(block, w + 4 * round);
  }
  return true;
}

bool rijdael::DecryptBlock(uint8_t *block) {
  if (!keySet_) return false;
  const uint32_t *w = context_.schedule_.data();
  AddRoundKey(block, w + 4 * kRounds);
  for (int round = kRounds - 1; round >= 0; --round) {
    ShiftRows(block, true);
    SubBytes(block, kInverseSBox);
    AddRoundKey(block, w + 4 * round);
    if (round != 0) MixColumnsWith(block, kInverseMix);
  }
  return true;
}

bool rijdael::EncryptCBC(uint8_t *buffer, size_t length) {
  if (!keySet_) return false;
  uint8_t *iv = context_.IV();
  const size_t blocks = length / kBlock + (length % kBlock != 0 ? 1 : 0);
  for (size_t i = 0; i < blocks; ++i) {
    uint8_t *block = buffer + i * kBlock;
    XorBlock(block, iv);
    EncryptBlock(block);
    std::memcpy(iv, block, kBlock);
  }
  return true;
}

bool rijdael::DecryptCBC(uint8_t *buffer, size_t length) {
  if (!keySet_) return false;
  uint8_t *iv = context_.IV();
  uint8_t ciphertext[kBlock];
  for (size_t i = 0; i < length / kBlock; ++i) {
    uint8_t *block = buffer + i * kBlock;
    std::memcpy(ciphertext, block, kBlock);
    DecryptBlock(block);
    XorBlock(block, iv);
    std::memcpy(iv, ciphertext, kBlock);
  }
  return true;
}

}  // namespace kovra::desfire
