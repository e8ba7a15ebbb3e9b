// AuthenticateISO (1A) and AuthenticateAES (AA), EV1 style, as the card runs them:
//
//   PCD -> 1A|AA key          card -> AF E(K, RndB)                     (chain from zero)
//   PCD -> AF E(K, RndA || RndB<<<1)                                   (chained on)
//   card checks RndB<<<1     card -> 00 E(K, RndA<<<1)                  (chained on)
//
// Both directions encipher with CBC (the ISO command uses two-key triple DES in "send mode" as
// EV1 does, not the legacy decipher-to-send of command 0A). The session key is
//   AES:          RndA[0..3] RndB[0..3] RndA[12..15] RndB[12..15]
//   2K3DES:       RndA[0..3] RndB[0..3] RndA[4..7]   RndB[4..7]
//   DES (halves equal): RndA[0..3] RndB[0..3] RndA[0..3] RndB[0..3]
// and the session chain starts from zero.
#include "sim/desfire/desfire_card.h"

namespace kovra_sim {

using namespace desfire_status;

namespace {

Bytes RotateLeft(const Bytes &bytes) {
  Bytes rotated(bytes.begin() + 1, bytes.end());
  rotated.push_back(bytes.front());
  return rotated;
}

Bytes Take(const Bytes &from, size_t at, size_t count) {
  return Bytes(from.begin() + static_cast<std::ptrdiff_t>(at),
               from.begin() + static_cast<std::ptrdiff_t>(at + count));
}

Bytes SessionKey(const DesfireKey &key, const Bytes &rnd_a, const Bytes &rnd_b) {
  Bytes session = Take(rnd_a, 0, 4);
  const Bytes b0 = Take(rnd_b, 0, 4);
  session.insert(session.end(), b0.begin(), b0.end());
  if (key.type == DesfireKeyType::kAes) {
    const Bytes a3 = Take(rnd_a, 12, 4);
    const Bytes b3 = Take(rnd_b, 12, 4);
    session.insert(session.end(), a3.begin(), a3.end());
    session.insert(session.end(), b3.begin(), b3.end());
  } else if (key.IsSingleDes()) {
    const Bytes first(session);
    session.insert(session.end(), first.begin(), first.end());
  } else {
    const Bytes a1 = Take(rnd_a, 4, 4);
    const Bytes b1 = Take(rnd_b, 4, 4);
    session.insert(session.end(), a1.begin(), a1.end());
    session.insert(session.end(), b1.begin(), b1.end());
  }
  return session;
}

}  // namespace

DesfireCard::CardAnswer DesfireCard::AuthenticateIso(const Bytes &frame) {
  return BeginAuthentication(frame, CipherKind::kTdes);
}

DesfireCard::CardAnswer DesfireCard::AuthenticateAes(const Bytes &frame) {
  return BeginAuthentication(frame, CipherKind::kAes);
}

DesfireCard::CardAnswer DesfireCard::BeginAuthentication(const Bytes &frame, CipherKind cipher) {
  EndSession();  // a new authentication ends the old session, whatever comes of it
  if (frame.size() != 2) return Error(kLengthError);
  const DesfireKey *key = KeyOfSelected(frame[1]);
  if (!key) return Error(kNoSuchKey);
  // The command must fit the key: AES keys only with AA, DES and 3DES keys only with 1A.
  if (key->Cipher() != cipher) return Error(kAuthenticationError);
  const size_t block = BlockSize(cipher);
  PendingAuthentication pending{cipher, frame[1], *key, Random(block), Bytes(block, 0)};
  const Bytes challenge = CbcEncipher(cipher, key->bytes, pending.iv, pending.rnd_b);
  pending_ = std::move(pending);
  return CardAnswer{kAdditionalFrame, challenge, false, {}};
}

DesfireCard::CardAnswer DesfireCard::FinishAuthentication(const PendingAuthentication &pending,
                                                          const Bytes &frame) {
  const size_t block = BlockSize(pending.cipher);
  if (frame.size() != 1 + 2 * block) return Error(kLengthError);
  Bytes iv = pending.iv;
  const Bytes plain =
      CbcDecipher(pending.cipher, pending.key.bytes, iv, Bytes(frame.begin() + 1, frame.end()));
  const Bytes rnd_a = Take(plain, 0, block);
  if (Take(plain, block, block) != RotateLeft(pending.rnd_b)) return Error(kAuthenticationError);
  const Bytes proof = CbcEncipher(pending.cipher, pending.key.bytes, iv, RotateLeft(rnd_a));
  session_.emplace(
      ActiveSession{pending.key_number,
                    SecureChannel(pending.cipher, SessionKey(pending.key, rnd_a, pending.rnd_b))});
  return CardAnswer{kOk, proof, false, {}};
}

}  // namespace kovra_sim
