// How the writer core asks the operator: a message box in the GUI, a prompt or a fixed answer in
// the CLI, a scripted answer in tests. Every call blocks until the operator has answered.
#pragma once

#include <QString>

namespace quillmate {

class Prompter {
 public:
  enum class Answer { kRetry, kCancel };

  virtual ~Prompter() = default;

  // Asks a retry/cancel question, e.g. "Bitte Karte auflegen!" when a repair pass needs the card
  // on the reader again. kCancel ends the operation that asked.
  virtual Answer AskRetryCancel(const QString &question) = 0;

  // Shows a message the operator has to acknowledge (the few repair failures that warrant more
  // than a status line). Returns when it has been acknowledged.
  virtual void ShowMessage(const QString &text) = 0;
};

}  // namespace quillmate
