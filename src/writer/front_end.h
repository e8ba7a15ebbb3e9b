// The one seam between the writer core and a front end (the GUI window, the CLI, a test): every
// status line, question, lamp, data text and finished card reaches the front end through the
// FrontEnd it implements. The core never shows anything itself.
#pragma once

#include <QString>

namespace quillmate {

// The traffic light of a running cycle: kWaiting (all lamps off) while no card is being worked
// on, yellow while one is, green when it is done, red when it failed or the reader is lost.
enum class Lamp { kWaiting, kRed, kYellow, kGreen };

class FrontEnd {
 public:
  enum class Answer { kRetry, kCancel };

  virtual ~FrontEnd() = default;

  // Appends one line to the status box. The core has already dropped repeats that the operator
  // should not see (Reporter::Message), so every call is a line to show.
  virtual void AppendStatusLine(const QString &line) = 0;

  // Asks a retry/cancel question, e.g. "Bitte Karte auflegen!" when a repair pass needs the card
  // on the reader again; blocks until the operator has answered. kCancel ends the operation.
  virtual Answer AskRetryCancel(const QString &question) = 0;

  // Shows a message the operator has to acknowledge (a refused field, the few repair failures
  // that warrant more than a status line). Returns when it has been acknowledged.
  virtual void ShowMessage(const QString &text) = 0;

  // Shows the traffic light.
  virtual void ShowLamp(Lamp /*lamp*/) {}

  // Shows the data text in the data field: the next value after a written card, the value read,
  // or an empty text after a failed read.
  virtual void ShowData(const QString & /*text*/) {}

  // A new card has been written or read (not called for a card that stays on the reader during a
  // read cycle): after its log line, with the job's data text already the next value.
  virtual void CardDone() {}
};

}  // namespace quillmate
