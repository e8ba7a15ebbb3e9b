// The DESFire session of a port: which application of the card is selected, whether and with
// which key the library is authenticated, and the crypto context that secures the traffic. And
// the operations of the EV1 secure channel that the DESFire commands apply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "desfire/df8crypt.h"
#include "reader/byte_array.h"
#include "reader/card_session.h"

namespace kovra {
class CKOVRA_Port;
}

namespace kovra::desfire {

// Authentication states.
constexpr uint8_t kNotAuthenticated = 0;
constexpr uint8_t kIsoAuthenticated = 2;  // triple DES
constexpr uint8_t kAesAuthenticated = 3;
constexpr uint8_t kNoKey = 0xFF;

// Communication modes of a data transfer.
constexpr int kModePlain = 0;
constexpr int kModeMac = 1;
constexpr int kModeEnciphered = 3;

// The DESFire session record of a port, kept by the port as its card session.
class CDatenFuerDesfireInPort final : public CardSession {
 public:
  // State 0, no key, context without cipher; the selected application stays.
  void ResetAuthentication();
  // Back to card level, then ResetAuthentication. A new record is in this state.
  void Reset();
  // A newly activated card: its session starts over (Reset).
  void OnCardActivated() override { Reset(); }

  uint32_t selected_aid = 0;  // 0: card level
  uint8_t auth_state = kNotAuthenticated;
  uint8_t auth_key_no = kNoKey;
  DF8Crypt crypt;
};

// The port's session record, created on first use (a card session of another kind that the port
// holds is replaced).
CDatenFuerDesfireInPort &SessionOf(CKOVRA_Port &port);
// The port's session record, or null while it has none.
const CDatenFuerDesfireInPort *FindSession(const CKOVRA_Port &port);

// State 0, no key, context without cipher; the selected application stays.
void ResetAuthentication(CKOVRA_Port &port);
// Back to card level, then ResetAuthentication.
void ResetSession(CKOVRA_Port &port);
bool IsAuthenticated(CKOVRA_Port &port);
uint8_t GetAuthState(CKOVRA_Port &port);
uint32_t GetSelectedAid(CKOVRA_Port &port);
// 8 while authenticated, else 0.
size_t GetMacLength(CKOVRA_Port &port);

// While authenticated: the CMAC of the command bytes (the chain moves on); its first 8 bytes go
// to mac when given. Not authenticated: nothing happens.
void MacCommand(CKOVRA_Port &port, const uint8_t *command, size_t length, uint8_t *mac = nullptr);

// Checks the MAC at the end of an answer (status byte first) that must carry one. True when not
// authenticated, or when the MAC matches. An answer too short to hold a MAC (the status byte
// alone included) fails like a wrong MAC: a card, or whatever answers in its place, could
// otherwise confirm any command without the session key. On failure: last error
// KOVRA_DESFIRE_ERR_MAC, the session back to card level, false. The few answers that carry no
// MAC by their nature are not passed here.
bool VerifyResponseMac(CKOVRA_Port &port, const uint8_t *answer, size_t length);

// While authenticated: deciphers the bytes in place with the session key (a length that is not
// a whole number of blocks is left as it is).
void DecipherResponse(CKOVRA_Port &port, uint8_t *bytes, size_t length);

// While authenticated: enciphers the bytes in place, zero-padded to whole blocks (the array
// grows); returns the padded length. Not authenticated: the length unchanged.
size_t EncipherData(CKOVRA_Port &port, CMyByteArray &bytes);

// The length of the payload in received data for a communication mode: all bytes when not
// authenticated; minus the 8 MAC bytes in modes 0 and 1; in mode 3 (deciphered data) the
// length EncipheredPayloadLength finds, 0 when it finds none.
size_t GetDataLength(CKOVRA_Port &port, const uint8_t *received, size_t count, int mode);

// Where the payload of deciphered data ends: the length after which the CRC32 over payload and
// status 0x00 follows and then only padding (zeros, or 0x80 and zeros) shorter than a block.
// Nothing when no length fits.
std::optional<size_t> EncipheredPayloadLength(const uint8_t *received, size_t count, size_t block);

}  // namespace kovra::desfire
