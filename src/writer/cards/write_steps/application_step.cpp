// Steps S, E and C of a pass: the job's application selected, then aligned with the job where it
// exists, or created with the job's keys.
#include <algorithm>

#include "kovra.h"
#include "writer/cards/write_steps/write_run.h"

namespace quillmate::write_steps {
namespace {

constexpr int kCryptoAes = 2;
constexpr int kChangeWithItself = 14;  // change-key access: each key after authenticating itself
constexpr int kKeySettings = 15;

}  // namespace

Step WriteRun::EnsureApplication() {
  if (Select(job_.app_id)) {
    Message(tr("App ID existiert bereits!"));
    return AlignExistingApplication();
  }
  if (LastError() == KOVRA_DESFIRE_APP_NOT_FOUND) return CreateApplication();
  ErrorLine(" <SelectApp()>");
  return Step::kNextPass;
}

Step WriteRun::AlignExistingApplication() {
  if (job_.key_count >= 1) {
    const Step step = AlignAppMasterKey();
    if (step != Step::kGoOn) return step;
  }
  return AlignAccessKeys();
}

Step WriteRun::AlignAppMasterKey() {
  const QByteArray &app_key = plan_.app_master_key;
  bool done = AuthAes(0, app_key);
  if (!done && LastError() == KOVRA_DESFIRE_AUTHENTICATION_ERROR) done = AuthIso(0, app_key);
  if (done) return Step::kGoOn;
  if (LastError() == KOVRA_DESFIRE_NO_SUCH_KEY) {
    Message(tr("App hat nicht die richtigen Keys, Applikation wird gelöscht und neu erzeugt!"));
    return Step::kNextPass;
  }
  if (!AuthAes(0, kFactoryKey)) {
    AuthFailureLine(WrongAppMasterKey(), " <Auth(AppKey)>");
    return Step::kFail;
  }
  if (!ChangeKey(0, app_key)) {
    ErrorLine(" <Change(AppKey)>");
    return Step::kFail;
  }
  return Step::kGoOn;
}

Step WriteRun::CreateApplication() {
  // A DESFire application has at least one key (the card refuses 0 with a parameter error).
  // A job without keys gets an application whose only key, the master key, keeps its factory
  // value and is never used: the file's rights are all free then.
  const int key_count = std::max(job_.key_count, 1);
  if (KOVRA_DESFireCreateApplication(handle_, job_.app_id, kCryptoAes, key_count, 0,
                                     kChangeWithItself, kKeySettings, nullptr, 0) != 0) {
    ErrorLine(" <CreateApp()>");
    return Step::kNextPass;
  }
  changed_ = true;
  if (!Select(job_.app_id)) {
    ErrorLine(" <SelectApp()>");
    return Step::kNextPass;
  }
  const Step step = InstallJobKeys();
  if (step != Step::kGoOn) return step;
  Message(tr("App wurde neu erzeugt"));
  return Step::kGoOn;
}

}  // namespace quillmate::write_steps
