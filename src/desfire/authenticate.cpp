// AES (0xAA) and ISO (0x1A, two-key triple DES) authentication of the EV1 secure channel.
#include "desfire/authenticate.h"

#include <sys/random.h>

#include <cstring>

#include "desfire/card_exchange.h"
#include "desfire/cmac.h"
#include "desfire/session.h"
#include "kovra.h"

namespace kovra::desfire {
namespace {

constexpr size_t kAuthReceiveSize = 100;

// RndA comes from the operating system's cryptographic generator: nobody may predict it, and
// two authentications must never share it.
bool RandomBytes(uint8_t *out, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = getrandom(out + done, count - done, 0);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

bool AnswerIs(const CMyByteArray &answer, uint8_t status, size_t min_length) {
  return answer.GetSize() >= min_length && answer[0] == status;
}

}  // namespace

bool Authenticate(CKOVRA_Port &port, AuthMethod method, int key_no, const uint8_t *key,
                  int key_length) {
  if (key != nullptr && key_length != 16) {
    port.SetLastError(KOVRA_DESFIRE_ERR_KEY_LENGTH);
    return false;
  }
  const bool aes = method == AuthMethod::kAes;
  const size_t rnd = aes ? 16 : 8;
  uint8_t card_key[16] = {};
  if (key != nullptr) std::memcpy(card_key, key, sizeof card_key);

  ResetAuthentication(port);
  CDatenFuerDesfireInPort &session = SessionOf(port);
  DF8Crypt &crypt = session.crypt;
  crypt.Init(aes ? CipherAES : CipherTDES);

  const uint8_t first[] = {static_cast<uint8_t>(aes ? 0xAA : 0x1A),
                           static_cast<uint8_t>(key_no & 0xFF)};
  CMyByteArray answer;
  if (!CardExchange(port, first, sizeof first, kAuthReceiveSize, answer) ||
      !AnswerIs(answer, kStatusMore, 1 + rnd)) {
    SecureWipe(card_key, sizeof card_key);
    return FailCommand(port, answer);
  }

  uint8_t rnd_b[16], rnd_a[16], proof[32];
  crypt.Decipher(card_key, answer.GetData() + 1, rnd_b, rnd);
  if (!RandomBytes(rnd_a, rnd)) {  // no entropy to be had: the authentication cannot go on
    SecureWipe(card_key, sizeof card_key);
    FailCommand(port, CMyByteArray());
    port.SetLastError(11);  // "No communication to device"
    return false;
  }
  std::memcpy(proof, rnd_a, rnd);
  for (size_t i = 0; i < rnd; ++i) proof[rnd + i] = rnd_b[(i + 1) % rnd];  // RndB rotated left
  crypt.Encipher(crypt.CipherType(), card_key, proof, proof, 2 * rnd);

  CMyByteArray second;
  second.Add(kStatusMore);
  second.Append(proof, 2 * rnd);
  if (!CardExchange(port, second.GetData(), second.GetSize(), kAuthReceiveSize, answer) ||
      !AnswerIs(answer, kStatusOk, 1 + rnd)) {
    SecureWipe(card_key, sizeof card_key);
    return FailCommand(port, answer);
  }
  uint8_t rnd_a_rotated[16];
  crypt.Decipher(card_key, answer.GetData() + 1, rnd_a_rotated, rnd);
  bool match = true;
  // The card proves it knows the key by sending RndA rotated left by one byte.
  for (size_t i = 0; i < rnd; ++i) match &= rnd_a_rotated[i] == rnd_a[(i + 1) % rnd];
  if (!match) {
    // The card does not know the key we think it knows; no status to report.
    ResetAuthentication(port);
    SecureWipe(card_key, sizeof card_key);
    return false;
  }

  uint8_t *session_key = crypt.SessionKey();
  const bool single_des = !aes && std::memcmp(card_key, card_key + 8, 8) == 0;
  std::memcpy(session_key, rnd_a, 4);
  std::memcpy(session_key + 4, rnd_b, 4);
  if (aes) {
    std::memcpy(session_key + 8, rnd_a + 12, 4);
    std::memcpy(session_key + 12, rnd_b + 12, 4);
  } else if (single_des) {
    std::memcpy(session_key + 8, session_key, 8);
  } else {
    std::memcpy(session_key + 8, rnd_a + 4, 4);
    std::memcpy(session_key + 12, rnd_b + 4, 4);
  }
  session.auth_key_no = static_cast<uint8_t>(key_no & 0xFF);
  session.auth_state = aes ? kAesAuthenticated : kIsoAuthenticated;
  crypt.ClearIV();
  GenerateCmacSubkeys(crypt);

  SecureWipe(card_key, sizeof card_key);
  SecureWipe(rnd_a, sizeof rnd_a);
  SecureWipe(rnd_b, sizeof rnd_b);
  SecureWipe(proof, sizeof proof);
  return true;
}

}  // namespace kovra::desfire
