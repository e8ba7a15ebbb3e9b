// Step A, the card master key, and the keys of the job's application: aligned where an existing
// application still has factory keys, installed in a new one.
#include "kovra.h"
#include "writer/cards/write_steps/write_run.h"

namespace quillmate::write_steps {

Step WriteRun::CardMasterKey() {
  const QByteArray &card_key = plan_.card_master_key;
  if (card_key.isEmpty()) return Step::kGoOn;
  if (!Select(kCardLevel)) {
    ErrorLine(" <SelectCardLevel>");
    return Step::kFail;
  }
  if (AuthAes(0, card_key)) return Step::kGoOn;
  if (!AuthAes(0, kFactoryKey) && !AuthIso(0, kFactoryKey)) {
    AuthFailureLine(WrongCardMasterKey(), " <Auth(CardKey,0)>");
    return Step::kFail;
  }
  if (!ChangeKey(0, card_key)) {
    ErrorLine(" <Change(CardKey)>");
    return Step::kFail;
  }
  return Step::kGoOn;
}

Step WriteRun::AlignAccessKeys() {
  if (NeedsOwnKey(plan_.read_nibble) && !AlignReadKey(plan_.read_nibble)) {
    AuthFailureLine(tr("Authentifizierung nicht möglich! Gewählter Lesen Key nicht gültig"),
                    " <Auth(ReadKey)>");
    return Step::kFail;
  }
  const int write = plan_.write_nibble;
  if (NeedsOwnKey(write) && write != plan_.read_nibble && !AlignKey(write, plan_.write_key)) {
    AuthFailureLine(tr("Authentifizierung nicht möglich! Gewählter Schreiben Key nicht gültig"),
                    " <Auth(WriteKey)>");
    return Step::kFail;
  }
  const int read_write = plan_.read_write_nibble;
  if (NeedsOwnKey(read_write) && read_write != plan_.read_nibble && read_write != write &&
      !AlignKey(read_write, plan_.read_write_key)) {
    AuthFailureLine(
        tr("Authentifizierung nicht möglich! Gewählter Lesen/Schreiben Key nicht gültig"),
        " <Auth(ReadWriteKey)>");
    return Step::kFail;
  }
  return Step::kGoOn;
}

bool WriteRun::AlignReadKey(int key_no) {
  const QByteArray &key = plan_.read_key;
  if (AuthAes(key_no, key)) return true;
  const bool opened =
      AuthAes(key_no, kFactoryKey) || AuthIso(key_no, key) || AuthIso(key_no, kFactoryKey);
  return opened && ChangeKey(key_no, key);
}

bool WriteRun::AlignKey(int key_no, const QByteArray &key) {
  if (AuthAes(key_no, key)) return true;
  return AuthAes(key_no, kFactoryKey) && ChangeKey(key_no, key);
}

Step WriteRun::InstallJobKeys() {
  if (!plan_.app_master_key.isEmpty()) {
    const Step step = InstallKey(0, plan_.app_master_key, " <Auth(AppKey,0)>", " <Change(AppKey)>");
    if (step != Step::kGoOn) return step;
  }
  const int read = plan_.read_nibble;
  if (NeedsOwnKey(read)) {
    const Step step = InstallKey(read, plan_.read_key, " <Auth(ReadKey,0)>", " <Change(ReadKey)>");
    if (step != Step::kGoOn) return step;
  }
  const int write = plan_.write_nibble;
  if (NeedsOwnKey(write) && write != read) {
    const Step step =
        InstallKey(write, plan_.write_key, " <Auth(WriteKey,0)>", " <Change(WriteKey)>");
    if (step != Step::kGoOn) return step;
  }
  const int read_write = plan_.read_write_nibble;
  if (NeedsOwnKey(read_write) && read_write != read && read_write != write) {
    const Step step = InstallKey(read_write, plan_.read_write_key, " <Auth(ReadWriteKey,0)>",
                                 " <Change(ReadWriteKey)>");
    if (step != Step::kGoOn) return step;
  }
  return Step::kGoOn;
}

Step WriteRun::InstallKey(int key_no, const QByteArray &key, const char *auth_tag,
                          const char *change_tag) {
  if (!AuthAes(key_no, kFactoryKey)) {
    ErrorLine(auth_tag);
    return Step::kNextPass;
  }
  if (!ChangeKey(key_no, key)) {
    ErrorLine(change_tag);
    return Step::kNextPass;
  }
  return Step::kGoOn;
}

}  // namespace quillmate::write_steps
