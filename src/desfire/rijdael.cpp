// AES-128 block and CBC operations on the key-schedule area of a DF8Crypt.
#include "desfire/rijdael.h"

#include <array>
#include <bit>

#include "desfire/df8crypt.h"

namespace kovra::desfire {
namespace {

constexpr size_t kBlock = 16;
constexpr int kRounds = 10;
constexpr size_t kRoundKeyWords = 4 * (kRounds + 1);

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
alignas(64) constexpr ByteTable kSBox = BuildSBox();

constexpr ByteTable BuildInverseSBox() {
  ByteTable inverse{};
  for (int value = 0; value < 256; ++value) inverse[kSBox[value]] = static_cast<uint8_t>(value);
  return inverse;
}
alignas(64) constexpr ByteTable kInverseSBox = BuildInverseSBox();

// Spot checks against the table printed in FIPS-197 (Figure 7).
static_assert(kSBox[0x00] == 0x63 && kSBox[0x01] == 0x7C && kSBox[0x53] == 0xED &&
              kSBox[0xFF] == 0x16);
static_assert(kInverseSBox[0x63] == 0x00 && kInverseSBox[0x16] == 0xFF);

// The state is four big-endian words, one per column: byte 4c + r of the block (row r of column c)
// is bits 31 - 8r .. 24 - 8r of word c.
constexpr uint32_t Byte(uint32_t word, int row) {
  return (word >> (24 - 8 * row)) & 0xFF;
}

// A full round (SubBytes, ShiftRows, MixColumns) done a column at a time: the byte in row r of a
// column, passed through the S-box, contributes a fixed GF(2^8) multiple of itself to each row of
// the mixed column. Table r holds those four products, packed as a column word, for each byte
// value; a round is then sixteen lookups and XORs instead of byte-wise multiplications.
// Row r's table is row 0's rotated right by 8r bits, as the mixing matrix is circulant.
using WordTable = std::array<uint32_t, 256>;
using RoundTables = std::array<WordTable, 4>;

// coefficients is the first row of the circulant mixing matrix: output row i takes
// coefficients[(r - i) mod 4] times the input byte in row r.
constexpr RoundTables BuildRoundTables(const ByteTable &box, const uint8_t (&coefficients)[4]) {
  RoundTables tables{};
  for (int row = 0; row < 4; ++row) {
    for (int value = 0; value < 256; ++value) {
      uint32_t column = 0;
      for (int out = 0; out < 4; ++out) {
        const uint8_t product = Multiply(coefficients[(row - out + 4) % 4], box[value]);
        column |= static_cast<uint32_t>(product) << (24 - 8 * out);
      }
      tables[row][value] = column;
    }
  }
  return tables;
}
constexpr uint8_t kMix[4] = {2, 3, 1, 1};
constexpr uint8_t kInverseMix[4] = {14, 11, 13, 9};
alignas(64) constexpr RoundTables kEncipherTables = BuildRoundTables(kSBox, kMix);
alignas(64) constexpr RoundTables kDecipherTables = BuildRoundTables(kInverseSBox, kInverseMix);

// S(0) = 0x63: (2, 1, 1, 3) * 0x63 and (14, 9, 13, 11) * S^-1(0) = (14, 9, 13, 11) * 0x52.
static_assert(kEncipherTables[0][0] == 0xC66363A5 && kEncipherTables[1][0] == 0xA5C66363);
static_assert(kDecipherTables[0][0] == 0x51F4A750 && kDecipherTables[3][0] == 0xF4A75051);

inline uint32_t LoadBigEndian32(const uint8_t *bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         bytes[3];
}

inline void StoreBigEndian32(uint32_t value, uint8_t *bytes) {
  bytes[0] = static_cast<uint8_t>(value >> 24);
  bytes[1] = static_cast<uint8_t>(value >> 16);
  bytes[2] = static_cast<uint8_t>(value >> 8);
  bytes[3] = static_cast<uint8_t>(value);
}

using State = std::array<uint32_t, 4>;

inline State LoadState(const uint8_t *bytes) {
  return {LoadBigEndian32(bytes), LoadBigEndian32(bytes + 4), LoadBigEndian32(bytes + 8),
          LoadBigEndian32(bytes + 12)};
}

inline void StoreState(const State &state, uint8_t *bytes) {
  for (int column = 0; column < 4; ++column) StoreBigEndian32(state[column], bytes + 4 * column);
}

uint32_t SubWord(uint32_t word) {
  return (uint32_t{kSBox[Byte(word, 0)]} << 24) | (uint32_t{kSBox[Byte(word, 1)]} << 16) |
         (uint32_t{kSBox[Byte(word, 2)]} << 8) | kSBox[Byte(word, 3)];
}

// One column of a full round. ShiftRows moves row r of the state r columns to the left when
// enciphering, so the new column c takes row r from column c + r (kStep = +1); InvShiftRows takes
// it from column c - r (kStep = -1).
template <int kStep>
inline uint32_t RoundColumn(const RoundTables &tables, const State &s, int c, uint32_t roundKey) {
  return tables[0][Byte(s[c], 0)] ^ tables[1][Byte(s[(c + kStep + 4) % 4], 1)] ^
         tables[2][Byte(s[(c + 2) % 4], 2)] ^ tables[3][Byte(s[(c - kStep + 4) % 4], 3)] ^ roundKey;
}

// The last round has no MixColumns: S-box and shift only.
template <int kStep>
inline uint32_t LastRoundColumn(const ByteTable &box, const State &s, int c, uint32_t roundKey) {
  return ((uint32_t{box[Byte(s[c], 0)]} << 24) |
          (uint32_t{box[Byte(s[(c + kStep + 4) % 4], 1)]} << 16) |
          (uint32_t{box[Byte(s[(c + 2) % 4], 2)]} << 8) | box[Byte(s[(c - kStep + 4) % 4], 3)]) ^
         roundKey;
}

// Runs the ten rounds on state in place with the round keys w (for deciphering: the inverse
// cipher's, whose rounds have the same shape with the inverse tables and the shift the other way).
// The state goes by reference, not by value: a 16-byte array returned by value travels in two
// 64-bit registers and back through memory, which cost a fifth of the time per block.
template <int kStep>
void Cipher(State &state, const uint32_t *w, const RoundTables &tables, const ByteTable &box) {
  State s = state;
  for (int column = 0; column < 4; ++column) s[column] ^= w[column];
  for (int round = 1; round < kRounds; ++round) {
    const uint32_t *key = w + 4 * round;
    s = {RoundColumn<kStep>(tables, s, 0, key[0]), RoundColumn<kStep>(tables, s, 1, key[1]),
         RoundColumn<kStep>(tables, s, 2, key[2]), RoundColumn<kStep>(tables, s, 3, key[3])};
  }
  const uint32_t *key = w + 4 * kRounds;
  state = {LastRoundColumn<kStep>(box, s, 0, key[0]), LastRoundColumn<kStep>(box, s, 1, key[1]),
           LastRoundColumn<kStep>(box, s, 2, key[2]), LastRoundColumn<kStep>(box, s, 3, key[3])};
}

void Encrypt(State &s, const uint32_t *w) {
  Cipher<+1>(s, w, kEncipherTables, kSBox);
}

void Decrypt(State &s, const uint32_t *inverseW) {
  Cipher<-1>(s, inverseW, kDecipherTables, kInverseSBox);
}

// InvMixColumns of one column word: the decipher tables apply the inverse S-box first, so the
// bytes go through the S-box before the lookup to cancel it.
uint32_t InverseMixColumn(uint32_t word) {
  return kDecipherTables[0][kSBox[Byte(word, 0)]] ^ kDecipherTables[1][kSBox[Byte(word, 1)]] ^
         kDecipherTables[2][kSBox[Byte(word, 2)]] ^ kDecipherTables[3][kSBox[Byte(word, 3)]];
}

}  // namespace

void rijdael::SetKey(const uint8_t *key16) {
  // The context wipes as much of its schedule area as it expects rijdael to fill: the enciphering
  // round keys, then the inverse cipher's.
  static_assert(kRoundKeyWords == DF8Crypt::kAesRoundKeyWords);
  static_assert(2 * kRoundKeyWords <= DF8Crypt::kScheduleWords);
  uint32_t *w = context_.schedule_.data();
  for (int i = 0; i < 4; ++i) w[i] = LoadBigEndian32(key16 + 4 * i);
  // One round key (four words) per pass: only its first word goes through RotWord, SubWord and
  // the round constant; each further word is the one before XOR the word a round key back.
  uint8_t roundConstant = 0x01;
  for (int round = 1; round <= kRounds; ++round) {
    const uint32_t *previous = w + 4 * (round - 1);
    uint32_t *next = w + 4 * round;
    next[0] = previous[0] ^ SubWord(std::rotl(previous[3], 8)) ^ (uint32_t{roundConstant} << 24);
    next[1] = previous[1] ^ next[0];
    next[2] = previous[2] ^ next[1];
    next[3] = previous[3] ^ next[2];
    roundConstant = Xtime(roundConstant);
  }
  keySet_ = true;
  decryptionKeysSet_ = false;
}

// The equivalent inverse cipher (FIPS-197 5.3.5): the round keys in reverse order, with
// InvMixColumns applied to all but the first and the last, so that deciphering rounds have the
// same table-driven shape as enciphering ones.
void rijdael::PrepareDecryption() {
  if (decryptionKeysSet_) return;
  const uint32_t *w = context_.schedule_.data();
  uint32_t *inverse = context_.schedule_.data() + kRoundKeyWords;
  for (int round = 0; round <= kRounds; ++round) {
    const uint32_t *from = w + 4 * (kRounds - round);
    const bool mixed = round != 0 && round != kRounds;
    for (int column = 0; column < 4; ++column) {
      inverse[4 * round + column] = mixed ? InverseMixColumn(from[column]) : from[column];
    }
  }
  decryptionKeysSet_ = true;
}

bool rijdael::EncryptBlock(uint8_t *block) {
  if (!keySet_) return false;
  State s = LoadState(block);
  Encrypt(s, context_.schedule_.data());
  StoreState(s, block);
  return true;
}

bool rijdael::DecryptBlock(uint8_t *block) {
  if (!keySet_) return false;
  PrepareDecryption();
  State s = LoadState(block);
  Decrypt(s, context_.schedule_.data() + kRoundKeyWords);
  StoreState(s, block);
  return true;
}

bool rijdael::EncryptCBC(uint8_t *buffer, size_t length) {
  if (!keySet_) return false;
  const uint32_t *w = context_.schedule_.data();
  State chain = LoadState(context_.IV());
  const size_t blocks = length / kBlock + (length % kBlock != 0 ? 1 : 0);
  for (size_t i = 0; i < blocks; ++i) {
    uint8_t *block = buffer + i * kBlock;
    State s = LoadState(block);
    for (int column = 0; column < 4; ++column) s[column] ^= chain[column];
    Encrypt(s, w);
    StoreState(s, block);
    chain = s;
  }
  StoreState(chain, context_.IV());
  return true;
}

bool rijdael::DecryptCBC(uint8_t *buffer, size_t length) {
  if (!keySet_) return false;
  PrepareDecryption();
  const uint32_t *inverseW = context_.schedule_.data() + kRoundKeyWords;
  State chain = LoadState(context_.IV());
  for (size_t i = 0; i < length / kBlock; ++i) {
    uint8_t *block = buffer + i * kBlock;
    const State ciphertext = LoadState(block);
    State s = ciphertext;
    Decrypt(s, inverseW);
    for (int column = 0; column < 4; ++column) s[column] ^= chain[column];
    StoreState(s, block);
    chain = ciphertext;
  }
  StoreState(chain, context_.IV());
  return true;
}

}  // namespace kovra::desfire
