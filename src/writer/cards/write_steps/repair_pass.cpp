// Step R, the repair pass before every further pass: the card begun is found again on the reader
// and the job's application is removed from it, so that the next pass creates it anew.
#include <algorithm>

#include "kovra.h"
#include "writer/cards/card_calls.h"
#include "writer/cards/card_detection.h"
#include "writer/cards/write_steps/write_run.h"
#include "writer/reader/reader_port.h"

namespace quillmate::write_steps {

Step WriteRun::RemoveApplication() {
  const Step found = FindBegunCard();
  if (found != Step::kGoOn) return found;
  context_.report.ShowLamp(Lamp::kYellow);
  if (!Select(kCardLevel)) {
    ErrorLine(" <SelectCard>");
    return Step::kFail;
  }
  const Step authenticated = AuthenticateForDeletion();
  if (authenticated != Step::kGoOn) return authenticated;
  if (KOVRA_DESFireDeleteApplication(handle_, job_.app_id) != 0 &&
      LastError() != KOVRA_DESFIRE_APP_NOT_FOUND) {
    const QString line = quillmate::ErrorLine(context_, " <DeleteApp>");
    ShowMessage(line);
    context_.report.Line(line);
    return Step::kFail;
  }
  Message(tr("Die gewählte Applikation wurde gelöscht!"));
  changed_ = true;
  stage_ = std::min(stage_, Stage::kApplication);
  return Step::kGoOn;
}

Step WriteRun::FindBegunCard() {
  while (true) {
    if (DetectCard(context_, false)) {
      if (uid_.isEmpty() || context_.cards.current_uid == uid_) return Step::kGoOn;
      card_left_ = true;
      const QString other_card =
          tr("Auf dem Leser liegt eine andere Karte (%1), sie wird nicht beschrieben!")
              .arg(CardUidText(context_.cards.current_uid));
      if (data_may_be_on_card_) {
        // The card begun may hold the data: only that card may be repaired. Waiting for it
        // while other cards come would hold the series up, so its value ends here (the caller
        // skips it) and the card on the reader starts afresh with the series' next value.
        context_.report.Line(other_card);
        // Out of the session this look opened: a cycle's next look then meets the card as a
        // new one (or as the card it finished last) rather than as the card just failed.
        ResetRfField(context_);
        return Step::kFail;
      }
      // Another card was laid: it is not touched, and the operator learns which card the run
      // still needs before anything is sent to the new one.
      context_.report.ShowLamp(Lamp::kWaiting);
      const QString question = other_card + QLatin1Char('\n') + PlaceCardQuestion();
      if (context_.report.AskRetryCancel(question) != FrontEnd::Answer::kRetry) {
        return Step::kFail;
      }
      continue;
    }
    card_left_ = true;
    // A reader that is gone is reported by the detection; asking for a card would loop.
    if (context_.handle <= 0 || ReaderLinkLost(handle_)) return Step::kFail;
    // The card is gone: nothing is being written while the question waits for it.
    context_.report.ShowLamp(Lamp::kWaiting);
    if (context_.report.AskRetryCancel(PlaceCardQuestion()) != FrontEnd::Answer::kRetry) {
      Message(tr("Kein gültiger Transponder vorhanden!"));
      return Step::kFail;
    }
  }
}

QString WriteRun::PlaceCardQuestion() const {
  const QString question = tr("Bitte Karte auflegen!");
  if (uid_.isEmpty()) return question;
  return question + QLatin1Char('\n') +
         tr("Die Karte %1 ist noch nicht fertig beschrieben.").arg(CardUidText(uid_));
}

Step WriteRun::AuthenticateForDeletion() {
  if (!plan_.card_master_key.isEmpty() && AuthAes(0, plan_.card_master_key)) return Step::kGoOn;
  if (AuthAes(0, kFactoryKey) || AuthIso(0, kFactoryKey)) return Step::kGoOn;
  if (!Select(job_.app_id) && LastError() != KOVRA_DESFIRE_APP_NOT_FOUND) {
    ErrorLine(" <SelectApp>");
    return Step::kFail;
  }
  if (!plan_.app_master_key.isEmpty() && AuthAes(0, plan_.app_master_key)) return Step::kGoOn;
  if (AuthAes(0, kFactoryKey)) return Step::kGoOn;
  if (LastError() == KOVRA_DESFIRE_NO_SUCH_KEY) return Step::kGoOn;
  const QString line = WrongAppMasterKey();
  ShowMessage(line);
  Message(line);
  return Step::kFail;
}

}  // namespace quillmate::write_steps
