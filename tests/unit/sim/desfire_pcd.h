// The reader's (PCD's) side of DESFire EV1 secure messaging for the simulated card's tests,
// written apart from both the card and the product: its own OpenSSL calls, its own CMAC chain and
// a table-driven CRC32, so that a fault in the card cannot hide behind the same fault here.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/desfire/desfire_card.h"

namespace desfire_test {

using Bytes = std::vector<uint8_t>;

enum class Cipher { k3des, kAes };

inline size_t Block(Cipher cipher) {
  return cipher == Cipher::kAes ? 16 : 8;
}

// CBC with `iv` moving on to the last ciphertext block. 3DES keys are 16 bytes (K1 K2 K1), or
// 8 bytes doubled into K K, or 24 bytes.
inline Bytes Cbc(Cipher cipher, const Bytes &key, Bytes &iv, const Bytes &data, bool encipher) {
  Bytes k = key;
  const EVP_CIPHER *evp = EVP_aes_128_cbc();
  if (cipher == Cipher::k3des) {
    if (k.size() == 8) k.insert(k.end(), key.begin(), key.end());
    evp = k.size() == 24 ? EVP_des_ede3_cbc() : EVP_des_ede_cbc();
  }
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      EVP_CIPHER_CTX_free);
  EXPECT_EQ(EVP_CipherInit_ex(ctx.get(), evp, nullptr, k.data(), iv.data(), encipher), 1);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  Bytes out(data.size() + 32);
  int n = 0;
  int tail = 0;
  EVP_CipherUpdate(ctx.get(), out.data(), &n, data.data(), static_cast<int>(data.size()));
  EVP_CipherFinal_ex(ctx.get(), out.data() + n, &tail);
  out.resize(static_cast<size_t>(n + tail));
  const Bytes &cipher_text = encipher ? out : data;
  if (cipher_text.size() >= iv.size()) iv.assign(cipher_text.end() - iv.size(), cipher_text.end());
  return out;
}

// CMAC (SP 800-38B) continuing from `iv`; returns the full block, which `iv` becomes.
inline Bytes ChainedCmac(Cipher cipher, const Bytes &key, Bytes &iv, const Bytes &data) {
  const size_t b = Block(cipher);
  const uint8_t rb = b == 16 ? 0x87 : 0x1B;
  Bytes zero_iv(b, 0);
  const Bytes l = Cbc(cipher, key, zero_iv, Bytes(b, 0), true);
  auto dbl = [&](const Bytes &in) {
    Bytes out(b);
    for (size_t i = 0; i < b; ++i)
      out[i] = static_cast<uint8_t>(in[i] << 1 | (i + 1 < b ? in[i + 1] >> 7 : 0));
    if (in[0] & 0x80) out[b - 1] ^= rb;
    return out;
  };
  const Bytes k1 = dbl(l);
  const Bytes k2 = dbl(k1);
  Bytes m = data;
  const bool whole = !m.empty() && m.size() % b == 0;
  if (!whole) {
    m.push_back(0x80);
    m.resize((m.size() + b - 1) / b * b, 0);
  }
  for (size_t i = 0; i < b; ++i) m[m.size() - b + i] ^= (whole ? k1 : k2)[i];
  Cbc(cipher, key, iv, m, true);
  return iv;
}

inline uint32_t Crc32(const Bytes &data) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc;
}

inline void AppendCrc(Bytes &to, const Bytes &over) {
  const uint32_t crc = Crc32(over);
  for (int i = 0; i < 4; ++i) to.push_back(static_cast<uint8_t>(crc >> (8 * i)));
}

inline Bytes Cat(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes Le24(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16)};
}

// Plays the reader against one card, keeping its own session.
class Pcd {
 public:
  struct Answer {
    uint8_t status = 0xFF;
    Bytes data;  // all frames joined, the response MAC taken off
  };

  explicit Pcd(kovra_sim::DesfireCard &card) : card_(card) {}

  // A command and every further answer frame fetched with AF; no secure messaging.
  Answer Raw(const Bytes &command) {
    Bytes answer = card_.Exchange(command);
    Answer out;
    while (!answer.empty() && answer[0] == 0xAF) {
      out.data.insert(out.data.end(), answer.begin() + 1, answer.end());
      answer = card_.Exchange({0xAF});
    }
    if (answer.empty()) return out;
    out.status = answer[0];
    out.data.insert(out.data.end(), answer.begin() + 1, answer.end());
    return out;
  }

  // AuthenticateISO (k3des) or AuthenticateAES; 00 or the failing step's status.
  uint8_t Authenticate(Cipher cipher, uint8_t key_number, const Bytes &key) {
    session_.reset();
    const size_t b = Block(cipher);
    const Bytes first =
        card_.Exchange({cipher == Cipher::kAes ? uint8_t{0xAA} : uint8_t{0x1A}, key_number});
    if (first.size() != 1 + b || first[0] != 0xAF) return first.empty() ? 0xFF : first[0];
    Bytes iv(b, 0);
    const Bytes rnd_b = Cbc(cipher, key, iv, Bytes(first.begin() + 1, first.end()), false);
    Bytes rnd_a(b);
    for (size_t i = 0; i < b; ++i) rnd_a[i] = static_cast<uint8_t>(0x11 * i + ++counter_);
    Bytes rotated_b(rnd_b.begin() + 1, rnd_b.end());
    rotated_b.push_back(rnd_b[0]);
    const Bytes second =
        card_.Exchange(Cat({0xAF}, Cbc(cipher, key, iv, Cat(rnd_a, rotated_b), true)));
    if (second.size() != 1 + b || second[0] != 0x00) return second.empty() ? 0xFF : second[0];
    const Bytes proof = Cbc(cipher, key, iv, Bytes(second.begin() + 1, second.end()), false);
    Bytes rotated_a(rnd_a.begin() + 1, rnd_a.end());
    rotated_a.push_back(rnd_a[0]);
    EXPECT_EQ(proof, rotated_a) << "the card did not prove RndA";
    Bytes key_bytes = Bytes(rnd_a.begin(), rnd_a.begin() + 4);
    key_bytes = Cat(key_bytes, Bytes(rnd_b.begin(), rnd_b.begin() + 4));
    if (cipher == Cipher::kAes) {
      key_bytes = Cat(key_bytes, Bytes(rnd_a.begin() + 12, rnd_a.end()));
      key_bytes = Cat(key_bytes, Bytes(rnd_b.begin() + 12, rnd_b.end()));
    } else if (Bytes(key.begin(), key.begin() + 8) == Bytes(key.begin() + 8, key.end())) {
      key_bytes = Cat(key_bytes, key_bytes);
    } else {
      key_bytes = Cat(key_bytes, Bytes(rnd_a.begin() + 4, rnd_a.end()));
      key_bytes = Cat(key_bytes, Bytes(rnd_b.begin() + 4, rnd_b.end()));
    }
    session_ = Session{cipher, key_bytes, Bytes(b, 0)};
    return 0x00;
  }

  // A command inside the session: MACed into the chain, the answer's MAC checked and removed.
  Answer Run(const Bytes &command) {
    if (session_) Mac(command);
    return Checked(Raw(command));
  }

  // ChangeKey with the EV1 cryptogram. `old_key` null: the authenticated key changes itself.
  Answer ChangeKey(uint8_t key_byte, const Bytes &new_key, bool new_key_aes, uint8_t version,
                   const Bytes *old_key) {
    Bytes plain = new_key;
    if (old_key) {
      for (size_t i = 0; i < plain.size(); ++i) plain[i] ^= (*old_key)[i];
    }
    if (new_key_aes) plain.push_back(version);
    AppendCrc(plain, Cat({0xC4, key_byte}, plain));
    if (old_key) AppendCrc(plain, new_key);
    plain.resize((plain.size() + Block(session_->cipher) - 1) / Block(session_->cipher) *
                     Block(session_->cipher),
                 0);
    const Answer answer = Raw(Cat({0xC4, key_byte}, Encipher(plain)));
    if (!old_key) {
      session_.reset();  // the card ended the session: its answer is the status alone
      return answer;
    }
    return Checked(answer);
  }

  // WriteData in a communication mode: 52 data bytes in the first frame, 59 in each further one.
  Answer Write(uint8_t file, uint32_t offset, const Bytes &data, uint8_t mode) {
    const Bytes header =
        Cat(Cat({0x3D, file}, Le24(offset)), Le24(static_cast<uint32_t>(data.size())));
    Bytes stream = data;
    if (mode == 3) {
      AppendCrc(stream, Cat(header, data));
      stream.resize((stream.size() + Block(session_->cipher) - 1) / Block(session_->cipher) *
                        Block(session_->cipher),
                    0);
      stream = Encipher(stream);
    } else if (session_) {
      const Bytes mac = Mac(Cat(header, data));
      if (mode == 1) stream = Cat(stream, mac);
    }
    size_t sent = std::min<size_t>(52, stream.size());
    Bytes answer = card_.Exchange(Cat(header, Bytes(stream.begin(), stream.begin() + sent)));
    while (answer.size() == 1 && answer[0] == 0xAF && sent < stream.size()) {
      const size_t count = std::min<size_t>(59, stream.size() - sent);
      answer =
          card_.Exchange(Cat({0xAF}, Bytes(stream.begin() + sent, stream.begin() + sent + count)));
      sent += count;
    }
    Answer out;
    out.status = answer.empty() ? 0xFF : answer[0];
    out.data.assign(answer.begin() + (answer.empty() ? 0 : 1), answer.end());
    return Checked(out);
  }

  // ReadData in a communication mode; the data without MAC, CRC or padding.
  Answer Read(uint8_t file, uint32_t offset, uint32_t length, uint8_t mode) {
    const Bytes command = Cat(Cat({0xBD, file}, Le24(offset)), Le24(length));
    if (session_) Mac(command);
    if (mode != 3) return Checked(Raw(command));
    Answer answer = Raw(command);
    if (answer.status != 0x00) {
      session_.reset();
      return answer;
    }
    const Bytes plain = Decipher(answer.data);
    EXPECT_GE(plain.size(), length + 4u);
    Bytes data(plain.begin(), plain.begin() + length);
    Bytes crc;
    AppendCrc(crc, Cat(data, {0x00}));
    EXPECT_EQ(Bytes(plain.begin() + length, plain.begin() + length + 4), crc) << "read CRC";
    // The card pads with zero bytes only, as real cards do.
    for (size_t i = length + 4; i < plain.size(); ++i) EXPECT_EQ(plain[i], 0x00) << "padding";
    EXPECT_LT(plain.size() - length - 4, 16u) << "less than a block of padding";
    answer.data = data;
    return answer;
  }

  bool Authenticated() const { return session_.has_value(); }
  const Bytes &SessionKey() const { return session_->key; }
  const Bytes &Iv() const { return session_->iv; }
  // The 8 MAC bytes of `data`, moving the chain on (for tests that forge frames).
  Bytes Mac(const Bytes &data) {
    const Bytes cmac = ChainedCmac(session_->cipher, session_->key, session_->iv, data);
    return Bytes(cmac.begin(), cmac.begin() + 8);
  }
  Bytes Encipher(const Bytes &data) {
    return Cbc(session_->cipher, session_->key, session_->iv, data, true);
  }
  Bytes Decipher(const Bytes &data) {
    return Cbc(session_->cipher, session_->key, session_->iv, data, false);
  }
  void Forget() { session_.reset(); }

 private:
  struct Session {
    Cipher cipher;
    Bytes key;
    Bytes iv;
  };

  // Drops the session on an error; checks and removes the MAC of a status-00 answer.
  Answer Checked(Answer answer) {
    if (answer.status != 0x00) {
      session_.reset();
      return answer;
    }
    if (!session_) return answer;
    if (answer.data.size() < 8) {
      ADD_FAILURE() << "answer without MAC in a session";
      return answer;
    }
    // erase, not resize: GCC 12 at -O3 warns falsely (stringop-overflow) on the shrinking resize.
    const auto mac_start = answer.data.end() - 8;
    const Bytes mac(mac_start, answer.data.end());
    answer.data.erase(mac_start, answer.data.end());
    EXPECT_EQ(Mac(Cat(answer.data, {0x00})), mac) << "response MAC";
    return answer;
  }

  kovra_sim::DesfireCard &card_;
  std::optional<Session> session_;
  uint8_t counter_ = 0;
};

}  // namespace desfire_test
