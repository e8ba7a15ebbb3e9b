// How the writer core talks to its front end, answering for a missing one and dropping repeated
// messages during a cycle tick.
#include "writer/reporter.h"

namespace quillmate {

void Reporter::Line(const QString &line) {
  if (suppress_repeated_lines_ && tick_running_ && line == last_line_) return;
  last_line_ = line;
  if (front_end_) front_end_->AppendStatusLine(line);
}

void Reporter::Message(const QString &line) {
  if (tick_running_ && line == last_message_) return;
  last_message_ = line;
  Line(line);
}

FrontEnd::Answer Reporter::AskRetryCancel(const QString &question) {
  return front_end_ ? front_end_->AskRetryCancel(question) : FrontEnd::Answer::kCancel;
}

void Reporter::ShowMessage(const QString &text) {
  if (front_end_) front_end_->ShowMessage(text);
}

void Reporter::ShowLamp(Lamp lamp) {
  if (front_end_) front_end_->ShowLamp(lamp);
}

void Reporter::ShowData(const QString &text) {
  if (front_end_) front_end_->ShowData(text);
}

void Reporter::CardDone() {
  if (front_end_) front_end_->CardDone();
}

}  // namespace quillmate
