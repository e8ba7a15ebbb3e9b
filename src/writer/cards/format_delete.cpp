// Erasing a card completely or removing one application from it, outside the write job.
#include "writer/cards/format_delete.h"

#include <QByteArray>
#include <QCoreApplication>
#include <algorithm>

#include "kovra.h"
#include "writer/cards/card_calls.h"
#include "writer/cards/card_keys.h"
#include "writer/job/key_plan.h"
#include "writer/reader/reader_port.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "FormatDelete" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(FormatDelete)
};

constexpr int kDeleteMinAppId = 0;
// The divisor pair DSI = 2, DRI = 2 (212 kbit/s both ways) the dialog always asks for.
constexpr int kDeletePps = 0x0A;

void ReportError(WriterContext &context, const char *tag) {
  context.report.Line(ErrorLine(context, tag));
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
bool TakeFields(WriterContext &context, const DeleteFields &fields, RunResult &result) {
  result.check = CheckDeleteFields(fields);
  if (result.check.ok) return true;
  context.report.ShowMessage(result.check.message);
  return false;
}

// The card an action changed, for its result line.
QString UidPart(const QByteArray &uid) {
  return Texts::tr("(Karte %1)").arg(CardUidText(uid));
}

void ReportAuthFailure(WriterContext &context, const char *invalid_key_text) {
  if (LastError(context) == KOVRA_DESFIRE_AUTHENTICATION_ERROR) {
    context.report.Line(Texts::tr(invalid_key_text));
  } else {
    ReportError(context, " <Auth(0)>");
  }
}

// The fields' keys as a plan whose derivation the job check built, so that erasing derives a
// card's keys exactly as writing did. Refused as the job check refuses.
JobCheck DerivationOf(const DeleteFields &fields, KeyPlan &plan) {
  DesfireSet job;
  job.app_id = std::max(fields.app_id, kMinAppId);
  job.card_key = fields.card_master_key;
  job.app_key = fields.app_master_key;
  job.key_count = 1;
  job.read_key_nr = 2;  // the app master key: every right needs a key of the plan
  job.write_key_nr = 2;
  job.read_write_key_nr = 2;
  job.card_key_derived = fields.card_master_key_derived;
  job.app_key_derived = fields.app_master_key_derived;
  job.system_identifier = fields.system_identifier;
  const JobCheck check = BuildKeyPlan(job, plan);
  plan.derivation.app_id = fields.app_id;
  return check;
}

// The card's own card master key and app master key; false after the refusal's status line.
bool KeysForCard(WriterContext &context, const DeleteFields &fields, const QByteArray &uid,
                 KeyPlan &card_plan) {
  KeyPlan plan;
  DerivationOf(fields, plan);
  plan.card_master_key = HexKeyToBytes(fields.card_master_key);
  plan.app_master_key = HexKeyToBytes(fields.app_master_key);
  const CardKeys keys = CardKeyPlan(plan, uid);
  if (!keys.ok) {
    context.report.Line(keys.refusal);
    return false;
  }
  card_plan = keys.plan;
  return true;
}

}  // namespace

QString FormatCardQuestion() {
  return Texts::tr(
      "Die Karte auf dem Leser wird formatiert: alle Applikationen mit ihren Dateien und Daten "
      "gehen verloren, der Card Master Key wird auf den Auslieferungszustand zurückgesetzt.\n\n"
      "Karte formatieren?");
}

QString DeleteApplicationQuestion(const DeleteFields &fields) {
  return Texts::tr(
             "Die Applikation %1 wird mit allen ihren Dateien und Daten von der Karte auf dem "
             "Leser gelöscht.\n\nApplikation löschen?")
      .arg(QString::number(fields.app_id, 16).toUpper());
}

JobCheck CheckDeleteFields(const DeleteFields &fields) {
  if (fields.app_id < kDeleteMinAppId || fields.app_id > kMaxAppId) {
    return JobCheck::Refused(Texts::tr("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.")
                                 .arg(QString::number(kDeleteMinAppId, 16).toUpper(),
                                      QString::number(kMaxAppId, 16).toUpper()),
                             JobField::kAppId, true);
  }
  if (JobCheck card = CheckKeyText(fields.card_master_key, JobField::kCardKey); !card.ok)
    return card;
  if (JobCheck app = CheckKeyText(fields.app_master_key, JobField::kAppKey); !app.ok) return app;
  KeyPlan plan;
  return DerivationOf(fields, plan);
}

bool DetectCardForDelete(WriterContext &context, QByteArray *card_uid) {
  if (card_uid) card_uid->clear();
  if (context.handle <= 0) {
    context.report.Line(NoReaderText());
    return false;
  }
  ResetRfField(context);
  const SelectedCard card = RequestAndSelect(context);
  if (card.outcome != SelectedCard::Outcome::kSelected && ReaderLinkLost(context.handle)) {
    context.report.Line(ReaderLostText());
    return false;
  }
  if (card.outcome == SelectedCard::Outcome::kNoAnswer) {
    context.report.Line(Texts::tr("Kein gültiger Transponder vorhanden!"));
    return false;
  }
  if (card.outcome == SelectedCard::Outcome::kSelectFailed) {
    ReportError(context, " <Select()>");
    return false;
  }
  if (card_uid) *card_uid = card.uid;
  if (card.sak != kSakDesfire) {
    context.report.Line(RefusedCardLine(card.sak));
    return false;
  }
  return EnterIsoProtocol(context, kDeletePps);
}

RunResult FormatCard(WriterContext &context, const DeleteFields &fields) {
  RunResult result;
  if (!TakeFields(context, fields, result)) return result;
  if (!DetectCardForDelete(context, &result.card_uid)) return result;
  KeyPlan keys;
  if (!KeysForCard(context, fields, result.card_uid, keys)) return result;
  const QByteArray &card_master_key = keys.card_master_key;

  if (!SelectApplication(context, 0)) {
    ReportError(context, " <SelectCard>");
    return result;
  }
  const Authentication auth = AuthenticateAesThenIso(context, 0, card_master_key);
  if (!auth.ok()) {
    ReportAuthFailure(context, QT_TRANSLATE_NOOP("FormatDelete",
                                                 "Authentifizierung nicht möglich! "
                                                 "Gewählter Card Master Key nicht gültig"));
    return result;
  }
  if (KOVRA_DESFireFormatPICC(context.handle) != 0) {
    ReportError(context, " <FormatPICC()>");
    return result;
  }
  // The formatted card keeps its master key; the factory default of the same type replaces it.
  const QByteArray zero_key(16, '\0');
  const int key_type = auth.kind == Authentication::Kind::kAes ? kKeyTypeAes : kKeyTypeDes;
  if (!ChangeKey(context, 0, zero_key, key_type)) {
    ReportError(context, " <ChangeKey()>");
    return result;
  }
  context.report.Line(Texts::tr("Karte wurde gelöscht!") + QLatin1Char(' ') +
                      UidPart(result.card_uid));
  result.done = true;
  return result;
}

RunResult DeleteApplication(WriterContext &context, const DeleteFields &fields) {
  RunResult result;
  if (!TakeFields(context, fields, result)) return result;
  if (!DetectCardForDelete(context, &result.card_uid)) return result;
  KeyPlan keys;
  if (!KeysForCard(context, fields, result.card_uid, keys)) return result;
  const QByteArray &app_master_key = keys.app_master_key;

  if (!SelectApplication(context, fields.app_id)) {
    ReportError(context, " <SelectApp>");
    return result;
  }
  if (!AuthenticateAesThenIso(context, 0, app_master_key).ok()) {
    ReportAuthFailure(context, QT_TRANSLATE_NOOP("FormatDelete",
                                                 "Authentifizierung nicht möglich! "
                                                 "Gewählter App Master Key nicht gültig"));
    return result;
  }
  if (KOVRA_DESFireDeleteApplication(context.handle, fields.app_id) == 0) {
    context.report.Line(Texts::tr("Die gewählte Applikation wurde gelöscht!") + QLatin1Char(' ') +
                        UidPart(result.card_uid));
    result.done = true;
    return result;
  }
  if (LastError(context) == KOVRA_DESFIRE_APP_NOT_FOUND) {
    context.report.Line(Texts::tr("Die gewählte Applikation ist nicht vorhanden!"));
  } else {
    ReportError(context, " <DeleteApp>");
  }
  return result;
}

}  // namespace quillmate
