// The writer's calls to the card, shared by the write, read, format and delete sequences.
#include "writer/cards/card_calls.h"

#include <QCoreApplication>

#include "kovra.h"

namespace quillmate {
namespace {

// The operator texts of this file keep the context of the card detection, where they were first
// translated (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CardDetection)
};

constexpr int kRfSettleMs = 10;
constexpr int kUidRoom = 10;
constexpr int kAtsRoom = 10;

void Pause(const WriterContext &context, int ms) {
  if (context.sleep_ms) context.sleep_ms(ms);
}

// The type name that follows "Ungültiger Transpondertyp:" for a card that is no DESFire card.
QString CardTypeName(unsigned char sak) {
  switch (sak) {
    case 0x00:
      return Texts::tr(" MIFARE Ultralight®");
    case 0x08:
    case 0x88:
      return Texts::tr(" MIFARE® 1K");
    case 0x18:
      return Texts::tr(" MIFARE® 4K");
    default:
      return Texts::tr(" SAK(%1)").arg(QString::number(sak, 16).rightJustified(2, u'0').toUpper());
  }
}

}  // namespace

const unsigned char *KeyBytes(const QByteArray &key) {
  return key.isEmpty() ? nullptr : reinterpret_cast<const unsigned char *>(key.constData());
}

int KeyLength(const QByteArray &key) {
  return static_cast<int>(key.size());
}

QString LastErrorText(const WriterContext &context) {
  char text[512];
  const int length =
      KOVRA_GetErrorText(context.handle, LibraryLanguage(context.language), text, sizeof text);
  return QString::fromUtf8(text, length > 0 ? length : 0);
}

QString ErrorLine(const WriterContext &context, const char *tag) {
  return LastErrorText(context) + QLatin1String(tag);
}

int LastError(const WriterContext &context) {
  return KOVRA_GetLastError(context.handle);
}

void ResetRfField(const WriterContext &context) {
  KOVRA_SetRfField(context.handle, 0);
  Pause(context, kRfSettleMs);
  KOVRA_SetRfField(context.handle, 1);
  Pause(context, kRfSettleMs);
}

SelectedCard RequestAndSelect(const WriterContext &context) {
  SelectedCard card;
  unsigned short atqa = 0;
  if (KOVRA_Request(context.handle, &atqa) != 0) {
    card.outcome = SelectedCard::Outcome::kNoAnswer;
    card.error = LastError(context);
    return card;
  }
  unsigned char uid[kUidRoom] = {};
  const int uid_length = KOVRA_Select(context.handle, uid, kUidRoom, &card.sak);
  if (uid_length < 0) {
    card.outcome = SelectedCard::Outcome::kSelectFailed;
    card.error = LastError(context);
    return card;
  }
  card.outcome = SelectedCard::Outcome::kSelected;
  card.uid = QByteArray(reinterpret_cast<const char *>(uid), uid_length);
  return card;
}

QString RefusedCardLine(unsigned char sak) {
  return Texts::tr("Ungültiger Transpondertyp:") + CardTypeName(sak);
}

bool CountsAsEmptyField(int error) {
  return error == KOVRA_ERR_NO_TRANSPONDER || error >= KOVRA_ERR_FIRST_CARD_ERROR;
}

int PpsParameter(unsigned char ats_format_byte) {
  // Position (1 to 3) of the highest bit set among three bits starting at `low`; 0 for none.
  const auto highest = [ats_format_byte](int low) {
    for (int bit = 2; bit >= 0; --bit) {
      if ((ats_format_byte >> (low + bit)) & 1) return bit + 1;
    }
    return 0;
  };
  return highest(4) * 4 + highest(0);
}

bool EnterIsoProtocol(WriterContext &context, int fixed_pps) {
  const int handle = context.handle;
  KOVRA_SetIsoParameter(handle, 1);
  unsigned char ats[kAtsRoom] = {};
  const int ats_length = KOVRA_SendRats(handle, ats, kAtsRoom);
  if (ats_length < 0) {
    context.report.Line(ErrorLine(context, " <Rats()>"));
    return false;
  }
  // An ATS without its format byte announces no bit rates: the default divisors.
  int parameter = fixed_pps;
  if (parameter < 0) parameter = ats_length >= 2 ? PpsParameter(ats[1]) : 0;
  if (KOVRA_SendPps(handle, parameter) != 0) {
    context.report.Line(ErrorLine(context, " <PPS()>"));
    return false;
  }
  return true;
}

bool SelectApplication(const WriterContext &context, int aid) {
  return KOVRA_DESFireSelectApplication(context.handle, aid) == 0;
}

bool AuthenticateAes(const WriterContext &context, int key_no, const QByteArray &key) {
  return KOVRA_DESFireAuthenticateAES(context.handle, key_no, KeyBytes(key), KeyLength(key)) == 0;
}

bool AuthenticateIso(const WriterContext &context, int key_no, const QByteArray &key) {
  return KOVRA_DESFireAuthenticateISO(context.handle, key_no, KeyBytes(key), KeyLength(key)) == 0;
}

Authentication AuthenticateAesThenIso(const WriterContext &context, int key_no,
                                      const QByteArray &key) {
  Authentication result;
  if (AuthenticateAes(context, key_no, key)) {
    result.kind = Authentication::Kind::kAes;
    return result;
  }
  result.aes_error = LastError(context);
  result.aes_error_text = LastErrorText(context);
  if (AuthenticateIso(context, key_no, key)) {
    result = {};
    result.kind = Authentication::Kind::kIso;
  }
  return result;
}

bool ChangeKey(const WriterContext &context, int key_no, const QByteArray &key, int key_type) {
  return KOVRA_DESFireChangeKey(context.handle, key_no, KeyBytes(key), KeyLength(key), 0, nullptr,
                                0, key_type) == 0;
}

QString CardUidText(const QByteArray &uid) {
  return QString::fromLatin1(uid.toHex().toUpper());
}

}  // namespace quillmate
