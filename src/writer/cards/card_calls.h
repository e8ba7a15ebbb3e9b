// The writer's calls to the card, in one place for the write, read, format and delete sequences:
// activation, authentication, key bytes, the card-type names and the error line of a failed call.
// Everything goes through include/kovra.h on the context's port.
#pragma once

#include <QByteArray>
#include <QString>

#include "writer/cards/writer_context.h"

namespace quillmate {

// --- keys ------------------------------------------------------------------------------------
// An empty key stands for the factory default key (16 zero bytes) and goes to the library as an
// absent key (null, length 0); every other key is 16 bytes.
const unsigned char *KeyBytes(const QByteArray &key);
int KeyLength(const QByteArray &key);

// --- status lines ----------------------------------------------------------------------------
// The port's last error as text in the context's language (the library's texts are UTF-8).
QString LastErrorText(const WriterContext &context);
// A failed library call: the port's last error text followed by the step's tag (" <SelectApp>").
QString ErrorLine(const WriterContext &context, const char *tag);
// The port's last error code.
int LastError(const WriterContext &context);

// --- activation ------------------------------------------------------------------------------
inline constexpr unsigned char kSakDesfire = 0x20;

// Switches the RF field off and on, with the pauses a card needs to lose and regain power.
void ResetRfField(const WriterContext &context);

// Request and select of the card in the field (ISO 14443-A).
struct SelectedCard {
  enum class Outcome {
    kSelected,      // uid and sak are the card's
    kNoAnswer,      // the request found no card (error: the port's last error)
    kSelectFailed,  // the select failed (error: the port's last error)
  };
  Outcome outcome = Outcome::kNoAnswer;
  int error = 0;
  QByteArray uid;  // up to 10 bytes; may be empty when the select returned no bytes
  unsigned char sak = 0;
};
SelectedCard RequestAndSelect(const WriterContext &context);

// The status line for a card that is no DESFire card: "Ungültiger Transpondertyp:" followed by
// the card's type name for its SAK (" MIFARE® 1K", or " SAK(XX)" for an unknown one).
QString RefusedCardLine(unsigned char sak);

// True for the errors that only say that no card answered: an empty field and every
// air-interface, ISO, MIFARE and DESFire error. The line or the reader failing is not one.
bool CountsAsEmptyField(int error);

// The PPS parameter for the second byte of a RATS answer (DSI and DRI from its bits 4-6 and 0-2).
int PpsParameter(unsigned char ats_format_byte);

// After a successful select: the ISO 14443-4 protocol (RATS, then PPS). `fixed_pps` >= 0 asks for
// that parameter; -1 takes it from the card's ATS (the default divisors when the ATS announces
// none). True when the card is ready for DESFire commands; false after a status line tagged
// " <Rats()>" or " <PPS()>". The PPS ends any DESFire session of an earlier card.
bool EnterIsoProtocol(WriterContext &context, int fixed_pps = -1);

// --- DESFire ---------------------------------------------------------------------------------
bool SelectApplication(const WriterContext &context, int aid);
bool AuthenticateAes(const WriterContext &context, int key_no, const QByteArray &key);
bool AuthenticateIso(const WriterContext &context, int key_no, const QByteArray &key);

// AES first; when the card refuses, the key may be stored as a DES/3DES key: ISO next.
struct Authentication {
  enum class Kind { kAes, kIso, kFailed };
  Kind kind = Kind::kFailed;
  // For kFailed: the AES attempt's error code and text. The port's last error afterwards is the
  // ISO attempt's.
  int aes_error = 0;
  QString aes_error_text;
  bool ok() const { return kind != Kind::kFailed; }
};
Authentication AuthenticateAesThenIso(const WriterContext &context, int key_no,
                                      const QByteArray &key);

// Changes the authenticated key `key_no` to `key` (version 0) of the given library key type
// (KOVRA_DESFireChangeKey's: 0 DES/3DES, 2 AES); the card's settings let each key be changed
// after authenticating with itself, so no old key is needed.
bool ChangeKey(const WriterContext &context, int key_no, const QByteArray &key, int key_type);
inline constexpr int kKeyTypeDes = 0;
inline constexpr int kKeyTypeAes = 2;

// A card's UID for the operator, in the order the card sends it: "04112233445566". The status
// lines and questions that name a card use it, so that a card can be told from the one beside it.
QString CardUidText(const QByteArray &uid);

}  // namespace quillmate
