#include "writer/read_sequence.h"

#include <QCoreApplication>

#include "kovra.h"

namespace quillmate {
namespace {

// The operator texts of this file, context "ReadSequence" (lupdate collects them from Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(ReadSequence)
};

constexpr int kAuthenticationError = KOVRA_DESFIRE_BASE + 0xAE;
constexpr int kPlain = 0x00;

bool IsKeyNumber(int nibble) {
  return nibble >= 0 && nibble < kNibbleFree;
}

// An empty key stands for the factory default key: handed over as an absent key.
const unsigned char *KeyBytes(const QByteArray &key) {
  return key.isEmpty() ? nullptr : reinterpret_cast<const unsigned char *>(key.constData());
}

enum class AuthKind { kAes, kIso, kFailed };

struct AuthOutcome {
  AuthKind kind = AuthKind::kFailed;
  // For kFailed: the AES attempt's error, which is the one reported even after the ISO attempt.
  int error = 0;
  QString error_text;
};

// AES first; when the card refuses, the key may be stored as a DES/3DES key: ISO next.
AuthOutcome Authenticate(const WriterContext &context, int key_no, const QByteArray &key) {
  const int length = static_cast<int>(key.size());
  if (KOVRA_DESFireAuthenticateAES(context.handle, key_no, KeyBytes(key), length) == 0) {
    return {AuthKind::kAes, 0, {}};
  }
  AuthOutcome failed{AuthKind::kFailed, KOVRA_GetLastError(context.handle), LastErrorText(context)};
  if (KOVRA_DESFireAuthenticateISO(context.handle, key_no, KeyBytes(key), length) == 0) {
    return {AuthKind::kIso, 0, {}};
  }
  return failed;
}

}  // namespace

bool ReadCard(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
              QByteArray &bytes) {
  bytes.clear();
  StatusSink &status = *context.status;
  const int handle = context.handle;

  if (KOVRA_DESFireSelectApplication(handle, job.app_id) != 0) {
    status.Line(LastErrorText(context) + QStringLiteral(" <SelectApp>"));
    return false;
  }

  int n = plan.read_nibble;
  const int m = plan.read_write_nibble;
  bool authenticated = false;

  if (IsKeyNumber(n)) {
    const AuthOutcome read = Authenticate(context, n, plan.read_key);
    if (read.kind == AuthKind::kAes) {
      status.Message(Texts::tr("AES Authentifizierung mit Lesen Key erfolgreich!"));
      authenticated = true;
    } else if (read.kind == AuthKind::kIso) {
      status.Message(Texts::tr("3DES Authentifizierung mit Lesen Key als erfolgreich!"));
      authenticated = true;
    } else {
      if (read.error == kAuthenticationError) {
        status.Message(
            Texts::tr("Authentifizierung nicht möglich! Gewählter Lesen Key nicht gültig"));
      } else {
        status.Line(read.error_text + QStringLiteral(" <Auth(1)>"));
      }
      n = kNibbleNone;
    }
  }

  // At most two rounds: the second only after free access was refused, with n then 15.
  for (;;) {
    if (n == kNibbleNone && IsKeyNumber(m)) {
      const AuthOutcome read_write = Authenticate(context, m, plan.read_write_key);
      if (read_write.kind == AuthKind::kAes) {
        status.Message(Texts::tr("AES Authentifizierung mit Lesen/Schreiben Key erfolgreich!"));
      } else if (read_write.kind == AuthKind::kIso) {
        status.Message(Texts::tr("3DES Authentifizierung mit Lesen/Schreiben Key erfolgreich!"));
      } else {
        if (read_write.error == kAuthenticationError) {
          status.Message(Texts::tr(
              "Authentifizierung nicht möglich! Gewählter Lesen/Schreiben Key nicht gültig"));
        } else {
          status.Line(read_write.error_text + QStringLiteral(" <Auth(ReadWrite,N)>"));
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

    if (KOVRA_GetLastError(handle) == kAuthenticationError) {
      if (n == kNibbleFree && IsKeyNumber(m)) {
        n = kNibbleNone;  // the card wants a key after all: try the read/write key
        continue;
      }
      status.Message(Texts::tr(
          "Authentifizierung nicht möglich! Zum Lesen muss ein anderer Key gewählt werden"));
      return false;
    }
    status.Line(LastErrorText(context) + QStringLiteral(" <Read>"));
    return false;
  }
}

}  // namespace quillmate
