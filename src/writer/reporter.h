// How the writer core talks to its front end: the one place that holds the front end pointer,
// answers for a missing front end, and drops repeated messages during a cycle tick.
#pragma once

#include <QString>

#include "writer/front_end.h"

namespace quillmate {

class Reporter {
 public:
  // `front_end` may be null: lines, lamps and data then go nowhere and every question is answered
  // with Cancel (a sequence that needs the operator ends).
  explicit Reporter(FrontEnd *front_end = nullptr) : front_end_(front_end) {}

  void SetFrontEnd(FrontEnd *front_end) { front_end_ = front_end; }
  FrontEnd *GetFrontEnd() const { return front_end_; }

  // Appends one status line, always (a failed library call: its error text followed by the
  // bracketed step tag, e.g. "Timeout <SelectApp>").
  void Line(const QString &line);

  // Appends one status line unless it equals the message shown last while a cycle tick is
  // running: a cycle that meets the same state every 250 ms must not flood the box. Outside a
  // tick it acts as Line().
  void Message(const QString &line);

  // A cycle tick starts (true) or ends (false); repeats are dropped only in between.
  void SetTickRunning(bool running) { tick_running_ = running; }
  // A card has been processed: the next message is shown even if it repeats the last one.
  void ForgetLastMessage() {
    last_message_.clear();
    last_line_.clear();
  }
  // Also drop a Line() that repeats the line shown last during a tick (a front end without a
  // status box, where the same error three times a second would bury everything else).
  void SetSuppressRepeatedLines(bool on) { suppress_repeated_lines_ = on; }

  FrontEnd::Answer AskRetryCancel(const QString &question);
  void ShowMessage(const QString &text);
  void ShowLamp(Lamp lamp);
  void ShowData(const QString &text);
  void CardDone();

 private:
  FrontEnd *front_end_;
  QString last_message_;
  QString last_line_;
  bool tick_running_ = false;
  bool suppress_repeated_lines_ = false;
};

}  // namespace quillmate
