// One run of the write sequence: the passes, what a card left half-written lacks, and the card's
// calls and status lines that every step uses.
#include "writer/cards/write_steps/write_run.h"

#include <QStringList>

#include "kovra.h"
#include "writer/cards/card_calls.h"

namespace quillmate::write_steps {
namespace {

// Step A and at most three repair passes after the first.
constexpr int kPasses = 4;

}  // namespace

WriteRun::WriteRun(WriterContext &context, const DesfireSet &job, const KeyPlan &plan,
                   const QByteArray &data)
    : context_(context),
      job_(job),
      plan_(plan),
      data_(data),
      handle_(context.handle),
      uid_(context.cards.current_uid) {}

bool WriteRun::Run() {
  const bool written = RunPasses();
  // A card laid instead of this one during a repair pass was never written: the card the run
  // is about stays the one reported.
  if (!uid_.isEmpty()) context_.cards.current_uid = uid_;
  return written;
}

bool WriteRun::LeftTheCardHalfWritten() const {
  return (changed_ || data_may_be_on_card_) && (card_left_ || data_may_be_on_card_);
}

QString WriteRun::UnfinishedCardLine() const {
  QStringList missing;
  if (stage_ <= Stage::kCardKey) missing.append(tr("Card Master Key"));
  if (stage_ <= Stage::kApplication) {
    missing.append(tr("Applikation %1").arg(QString::number(job_.app_id, 16).toUpper()));
  }
  if (stage_ <= Stage::kFile) {
    missing.append(tr("Datei %1").arg(QString::number(job_.file_id, 16).toUpper()));
  }
  if (data_may_be_on_card_) {
    missing.append(tr("die Bestätigung der Daten (vielleicht geschrieben)"));
  } else {
    missing.append(tr("Daten"));
  }
  return tr("Karte %1 ist nur teilweise beschrieben, es fehlen: %2")
      .arg(CardUidText(uid_), missing.join(QStringLiteral(", ")));
}

bool WriteRun::RunPasses() {
  if (CardMasterKey() == Step::kFail) return false;
  stage_ = Stage::kApplication;
  for (int pass = 0; pass < kPasses; ++pass) {
    if (pass > 0 && RemoveApplication() == Step::kFail) return false;
    switch (InstallAndWrite()) {
      case Step::kGoOn:
        stage_ = Stage::kDone;
        return true;
      case Step::kFail:
        return false;
      case Step::kNextPass:
        break;
    }
  }
  return false;
}

Step WriteRun::InstallAndWrite() {
  Step step = EnsureApplication();
  if (step != Step::kGoOn) return step;
  stage_ = Stage::kFile;
  step = EnsureDataFile();
  if (step != Step::kGoOn) return step;
  stage_ = Stage::kData;
  return WriteData();
}

bool WriteRun::Select(int aid) {
  return SelectApplication(context_, aid);
}

bool WriteRun::AuthAes(int key_no, const QByteArray &key) {
  return AuthenticateAes(context_, key_no, key);
}

bool WriteRun::AuthIso(int key_no, const QByteArray &key) {
  return AuthenticateIso(context_, key_no, key);
}

bool WriteRun::ChangeKey(int key_no, const QByteArray &key) {
  const bool changed = quillmate::ChangeKey(context_, key_no, key, kKeyTypeAes);
  changed_ = changed_ || changed;
  return changed;
}

int WriteRun::LastError() const {
  return quillmate::LastError(context_);
}

QByteArray WriteRun::KeyOf(int nibble) const {
  if (nibble == 0) return plan_.app_master_key;
  if (nibble == plan_.read_nibble) return plan_.read_key;
  if (nibble == plan_.write_nibble) return plan_.write_key;
  return plan_.read_write_key;
}

void WriteRun::ErrorLine(const char *tag) const {
  context_.report.Line(quillmate::ErrorLine(context_, tag));
}

void WriteRun::AuthFailureLine(const QString &wrong_key, const char *tag) const {
  if (LastError() == KOVRA_DESFIRE_AUTHENTICATION_ERROR) {
    context_.report.Line(wrong_key);
  } else {
    ErrorLine(tag);
  }
}

QString WriteRun::WrongCardMasterKey() {
  return tr("Authentifizierung nicht möglich! Gewählter Card Master Key nicht gültig");
}

QString WriteRun::WrongAppMasterKey() {
  return tr("Authentifizierung nicht möglich! Gewählter App Master Key nicht gültig");
}

void WriteRun::Message(const QString &line) const {
  context_.report.Message(line);
}

void WriteRun::ShowMessage(const QString &text) const {
  context_.report.ShowMessage(text);
}

}  // namespace quillmate::write_steps
