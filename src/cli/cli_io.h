// How the core reports and asks in the CLI: status lines on stderr, questions on a terminal or,
// without one, answered by looking for the card again for a while.
#pragma once

#include <QStringList>

#include "writer/prompter.h"
#include "writer/status_sink.h"

namespace quillmate::cli {

// Writes every status line to stderr and keeps the lines since the last TakeLines() for the JSON
// object of a card. Message() suppresses a repeat only while a cycle tick runs.
class StderrStatusSink : public StatusSink {
 public:
  void Line(const QString &line) override;
  void Message(const QString &line) override;
  void SetTickRunning(bool running) { tick_running_ = running; }
  void ForgetLastMessage() { last_message_.clear(); }
  // The lines collected since the last call; the collection starts anew.
  QStringList TakeLines();

 private:
  QStringList lines_;
  QString last_message_;
  bool tick_running_ = false;
};

// Asks on the terminal when stdin is one and `interactive` is set; otherwise answers Retry every
// half second until `wait_card_s` seconds have passed since the first question, then Cancel.
// Messages become status lines.
class CliPrompter : public Prompter {
 public:
  CliPrompter(StatusSink &status, bool interactive, int wait_card_s)
      : status_(status), interactive_(interactive), wait_card_s_(wait_card_s) {}
  Answer AskRetryCancel(const QString &question) override;
  void ShowMessage(const QString &text) override;

 private:
  StatusSink &status_;
  bool interactive_;
  int wait_card_s_;
  qint64 asking_since_ms_ = -1;
  qint64 last_ask_ms_ = 0;
};

}  // namespace quillmate::cli
