// The read sequence: the job's data file read from one activated card, which it never changes.
#include "writer/cards/read_sequence.h"

#include <QCoreApplication>

#include "kovra.h"
#include "writer/cards/card_calls.h"
#include "writer/cards/card_keys.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "ReadSequence" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(ReadSequence)
};

constexpr int kPlain = 0x00;

}  // namespace

bool ReadCard(WriterContext &context, const DesfireSet &job, const KeyPlan &job_plan,
              QByteArray &bytes) {
  bytes.clear();
  Reporter &status = context.report;
  const CardKeys card_keys = CardKeyPlan(job_plan, context.cards.current_uid);
  if (!card_keys.ok) {
    status.Line(card_keys.refusal);
    return false;
  }
  const KeyPlan &plan = card_keys.plan;
  const int handle = context.handle;

  if (!SelectApplication(context, job.app_id)) {
    status.Line(ErrorLine(context, " <SelectApp>"));
    return false;
  }

  int n = plan.read_nibble;
  const int m = plan.read_write_nibble;
  bool authenticated = false;

  if (NeedsKey(n)) {
    const Authentication read = AuthenticateAesThenIso(context, n, plan.read_key);
    if (read.kind == Authentication::Kind::kAes) {
      status.Message(Texts::tr("AES Authentifizierung mit Lesen Key erfolgreich!"));
      authenticated = true;
    } else if (read.kind == Authentication::Kind::kIso) {
      status.Message(Texts::tr("3DES Authentifizierung mit Lesen Key als erfolgreich!"));
      authenticated = true;
    } else {
      if (read.aes_error == KOVRA_DESFIRE_AUTHENTICATION_ERROR) {
        status.Message(
            Texts::tr("Authentifizierung nicht möglich! Gewählter Lesen Key nicht gültig"));
      } else {
        status.Line(read.aes_error_text + QStringLiteral(" <Auth(1)>"));
      }
      n = kNibbleNone;
    }
  }

  // At most two rounds: the second only after free access was refused, with n then 15.
  for (;;) {
    if (n == kNibbleNone && NeedsKey(m)) {
      const Authentication read_write = AuthenticateAesThenIso(context, m, plan.read_write_key);
      if (read_write.kind == Authentication::Kind::kAes) {
        status.Message(Texts::tr("AES Authentifizierung mit Lesen/Schreiben Key erfolgreich!"));
      } else if (read_write.kind == Authentication::Kind::kIso) {
        status.Message(Texts::tr("3DES Authentifizierung mit Lesen/Schreiben Key erfolgreich!"));
      } else {
        if (read_write.aes_error == KOVRA_DESFIRE_AUTHENTICATION_ERROR) {
          status.Message(Texts::tr(
              "Authentifizierung nicht möglich! Gewählter Lesen/Schreiben Key nicht gültig"));
        } else {
          status.Line(read_write.aes_error_text + QStringLiteral(" <Auth(ReadWrite,N)>"));
        }
        return false;
      }
      authenticated = true;
    }

    if (job.length <= 0) return true;

    const bool free_access = n == kNibbleFree || (n == kNibbleNone && m == kNibbleFree);
    const int comm = !authenticated && free_access ? kPlain : FileModeByte(job.file_mode);
    QByteArray buffer(job.length, '\0');
    const int read =
        KOVRA_DESFireReadData(handle, job.file_id, comm, 0, job.length,
                              reinterpret_cast<unsigned char *>(buffer.data()), job.length);
    if (read >= 0) {
      buffer.truncate(read);
      bytes = buffer;
      return true;
    }

    if (LastError(context) == KOVRA_DESFIRE_AUTHENTICATION_ERROR) {
      if (n == kNibbleFree && NeedsKey(m)) {
        n = kNibbleNone;  // the card wants a key after all: try the read/write key
        continue;
      }
      status.Message(Texts::tr(
          "Authentifizierung nicht möglich! Zum Lesen muss ein anderer Key gewählt werden"));
      return false;
    }
    status.Line(ErrorLine(context, " <Read>"));
    return false;
  }
}

}  // namespace quillmate
