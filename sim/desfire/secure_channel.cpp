// The card's side of an EV1 secure channel after a successful authentication.
#include "sim/desfire/secure_channel.h"

#include <utility>

namespace kovra_sim {

SecureChannel::SecureChannel(CipherKind kind, Bytes session_key)
    : kind_(kind),
      key_(std::move(session_key)),
      subkeys_(DeriveCmacSubkeys(kind_, key_)),
      iv_(kovra_sim::BlockSize(kind_), 0) {}

Bytes SecureChannel::Mac(const Bytes &data) {
  const Bytes cmac = Cmac(kind_, key_, subkeys_, iv_, data);
  return Bytes(cmac.begin(), cmac.begin() + kMacLength);
}

Bytes SecureChannel::Encipher(const Bytes &data) {
  return CbcEncipher(kind_, key_, iv_, data);
}

Bytes SecureChannel::Decipher(const Bytes &data) {
  return CbcDecipher(kind_, key_, iv_, data);
}

}  // namespace kovra_sim
