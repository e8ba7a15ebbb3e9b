#include "writer/format_delete.h"

#include <QByteArray>
#include <QCoreApplication>

#include "kovra.h"
#include "writer/key_plan.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "FormatDelete" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(FormatDelete)
};

constexpr int kAuthenticationError = KOVRA_DESFIRE_BASE + 0xAE;
constexpr int kApplicationNotFound = KOVRA_DESFIRE_BASE + 0xA0;
constexpr int kDeleteMinAppId = 0;
constexpr int kUidRoom = 10;
constexpr int kAtsRoom = 10;
// The divisor pair DSI = 2, DRI = 2 (212 kbit/s both ways) the dialog always asks for.
constexpr int kDeletePps = 0x0A;
constexpr int kKeyTypeDes = 0;
constexpr int kKeyTypeAes = 2;

void ReportError(WriterContext &context, const char *tag) {
  context.status->Line(LastErrorText(context) + QLatin1String(tag));
}

void Pause(const WriterContext &context, int ms) {
  if (context.sleep_ms) context.sleep_ms(ms);
}

// An empty key stands for the factory default key: handed over as an absent key.
const unsigned char *KeyBytes(const QByteArray &key) {
  return key.isEmpty() ? nullptr : reinterpret_cast<const unsigned char *>(key.constData());
}

JobCheck CheckKeyText(const QString &text, JobField field) {
  if (text.size() > kMaxKeyDigits) {
    return JobCheck::Refused(Texts::tr("Geben Sie höchstens %1 Zeichen ein.").arg(kMaxKeyDigits),
                             field, true);
  }
  if (!IsHexText(text)) return JobCheck::Refused(Texts::tr("Keine Hex-Eingabe"), field, true);
  return JobCheck::Passed();
}

// The field exchange; a refusal is shown as the exchange's message box.
bool TakeFields(WriterContext &context, const DeleteFields &fields, JobCheck *refusal) {
  const JobCheck check = CheckDeleteFields(fields);
  if (check.ok) return true;
  if (context.prompter) context.prompter->ShowMessage(check.message);
  if (refusal) *refusal = check;
  return false;
}

// The status line for a SAK other than a DESFire card's.
QString SakRefusal(unsigned char sak) {
  QString card;
  switch (sak) {
    case 0x00:
      card = QStringLiteral(" MIFARE Ultralight®");
      break;
    case 0x08:
    case 0x88:
      card = QStringLiteral(" MIFARE® 1K");
      break;
    case 0x18:
      card = QStringLiteral(" MIFARE® 4K");
      break;
    default:
      card = QStringLiteral(" SAK(%1)").arg(sak, 2, 16, QLatin1Char('0')).toUpper();
      break;
  }
  return Texts::tr("Ungültiger Transpondertyp:") + card;
}

enum class Auth { kAes, kIso, kFailed };

// AES first, then ISO; when both fail the last error is the ISO attempt's.
Auth AuthenticateKey0(const WriterContext &context, const QByteArray &key) {
  const int length = static_cast<int>(key.size());
  if (KOVRA_DESFireAuthenticateAES(context.handle, 0, KeyBytes(key), length) == 0)
    return Auth::kAes;
  if (KOVRA_DESFireAuthenticateISO(context.handle, 0, KeyBytes(key), length) == 0)
    return Auth::kIso;
  return Auth::kFailed;
}

void ReportAuthFailure(WriterContext &context, const char *invalid_key_text) {
  if (KOVRA_GetLastError(context.handle) == kAuthenticationError) {
    context.status->Line(Texts::tr(invalid_key_text));
  } else {
    ReportError(context, " <Auth(0)>");
  }
}

}  // namespace

JobCheck CheckDeleteFields(const DeleteFields &fields) {
  if (fields.app_id < kDeleteMinAppId || fields.app_id > kMaxAppId) {
    return JobCheck::Refused(Texts::tr("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.")
                                 .arg(QString::number(kDeleteMinAppId, 16).toUpper(),
                                      QString::number(kMaxAppId, 16).toUpper()),
                             JobField::kAppId, true);
  }
  if (JobCheck card = CheckKeyText(fields.card_master_key, JobField::kCardKey); !card.ok)
    return card;
  return CheckKeyText(fields.app_master_key, JobField::kAppKey);
}

bool DetectCardForDelete(WriterContext &context, QByteArray *card_uid) {
  const int handle = context.handle;
  if (card_uid) card_uid->clear();
  KOVRA_SetRfField(handle, 0);
  Pause(context, 10);
  KOVRA_SetRfField(handle, 1);
  Pause(context, 10);

  unsigned short atqa = 0;
  if (KOVRA_Request(handle, &atqa) != 0) {
    context.status->Line(Texts::tr("Kein gültiger Transponder vorhanden!"));
    return false;
  }
  unsigned char uid[kUidRoom] = {};
  unsigned char sak = 0;
  const int uid_length = KOVRA_Select(handle, uid, kUidRoom, &sak);
  if (uid_length < 0) {
    ReportError(context, " <Select()>");
    return false;
  }
  if (card_uid) *card_uid = QByteArray(reinterpret_cast<const char *>(uid), uid_length);
  if (sak != 0x20) {
    context.status->Line(SakRefusal(sak));
    return false;
  }
  KOVRA_SetIsoParameter(handle, 1);
  unsigned char ats[kAtsRoom] = {};
  if (KOVRA_SendRats(handle, ats, kAtsRoom) < 0) {
    ReportError(context, " <Rats()>");
    return false;
  }
  if (KOVRA_SendPps(handle, kDeletePps) != 0) {
    ReportError(context, " <PPS()>");
    return false;
  }
  return true;
}

bool FormatCard(WriterContext &context, const DeleteFields &fields, JobCheck *refusal,
                QByteArray *card_uid) {
  if (card_uid) card_uid->clear();
  if (!TakeFields(context, fields, refusal)) return false;
  const QByteArray card_master_key = HexKeyToBytes(fields.card_master_key);
  if (!DetectCardForDelete(context, card_uid)) return false;

  const int handle = context.handle;
  if (KOVRA_DESFireSelectApplication(handle, 0) != 0) {
    ReportError(context, " <SelectCard>");
    return false;
  }
  const Auth auth = AuthenticateKey0(context, card_master_key);
  if (auth == Auth::kFailed) {
    ReportAuthFailure(context, QT_TRANSLATE_NOOP("FormatDelete",
                                                 "Authentifizierung nicht möglich! "
                                                 "Gewählter Card Master Key nicht gültig"));
    return false;
  }
  if (KOVRA_DESFireFormatPICC(handle) != 0) {
    ReportError(context, " <FormatPICC()>");
    return false;
  }
  // The formatted card keeps its master key; the factory default of the same type replaces it.
  const unsigned char zero_key[16] = {};
  const int key_type = auth == Auth::kAes ? kKeyTypeAes : kKeyTypeDes;
  if (KOVRA_DESFireChangeKey(handle, 0, zero_key, sizeof zero_key, 0, nullptr, 0, key_type) != 0) {
    ReportError(context, " <ChangeKey()>");
    return false;
  }
  context.status->Line(Texts::tr("Karte wurde gelöscht!"));
  return true;
}

bool DeleteApplication(WriterContext &context, const DeleteFields &fields, JobCheck *refusal,
                       QByteArray *card_uid) {
  if (card_uid) card_uid->clear();
  if (!TakeFields(context, fields, refusal)) return false;
  const QByteArray app_master_key = HexKeyToBytes(fields.app_master_key);
  if (!DetectCardForDelete(context, card_uid)) return false;

  const int handle = context.handle;
  if (KOVRA_DESFireSelectApplication(handle, fields.app_id) != 0) {
    ReportError(context, " <SelectApp>");
    return false;
  }
  if (AuthenticateKey0(context, app_master_key) == Auth::kFailed) {
    ReportAuthFailure(context, QT_TRANSLATE_NOOP("FormatDelete",
                                                 "Authentifizierung nicht möglich! "
                                                 "Gewählter App Master Key nicht gültig"));
    return false;
  }
  if (KOVRA_DESFireDeleteApplication(handle, fields.app_id) == 0) {
    context.status->Line(Texts::tr("Die gewählte Applikation wurde gelöscht!"));
    return true;
  }
  if (KOVRA_GetLastError(handle) == kApplicationNotFound) {
    context.status->Line(Texts::tr("Die gewählte Applikation ist nicht vorhanden!"));
  } else {
    ReportError(context, " <DeleteApp>");
  }
  return false;
}

}  // namespace quillmate
