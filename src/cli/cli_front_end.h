// How the core reaches the operator in the CLI: status lines on stderr, questions on a terminal
// or, without one, answered by looking for the card again for a while.
#pragma once

#include <QStringList>
#include <functional>

#include "writer/front_end.h"

namespace quillmate::cli {

class CliFrontEnd : public FrontEnd {
 public:
  // `interactive`: questions may be asked on the terminal (when stdin is one). Otherwise a
  // question is answered Retry every half second until `wait_card_s` seconds have passed since
  // the card operation started (StartCard), then Cancel. Ctrl-C or SIGTERM answers Cancel at once.
  CliFrontEnd(bool interactive, int wait_card_s)
      : interactive_(interactive), wait_card_s_(wait_card_s) {
    StartCard();
  }

  // Writes the line to stderr and keeps it for the JSON object of the card.
  void AppendStatusLine(const QString &line) override;
  Answer AskRetryCancel(const QString &question) override;
  // Messages become status lines.
  void ShowMessage(const QString &text) override;
  void CardDone() override;

  // A card operation starts: the wait of its questions counts from now.
  void StartCard();

  // Called after each finished card (may be empty).
  void SetCardDone(std::function<void()> card_done) { card_done_ = std::move(card_done); }
  // The lines collected since the last call; the collection starts anew.
  QStringList TakeLines();

 private:
  bool interactive_;
  int wait_card_s_;
  QStringList lines_;
  std::function<void()> card_done_;
  qint64 card_started_ms_ = 0;
  bool asked_ = false;
};

}  // namespace quillmate::cli
