// The CLI's front end: the core's status lines on stderr and its questions on a terminal, or
// answered by looking for the card again when there is none.
#include "cli/cli_front_end.h"

#include <unistd.h>

#include <QDateTime>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/interrupt.h"

namespace quillmate::cli {
namespace {

constexpr int kRetryPauseMs = 500;

}  // namespace

void CliFrontEnd::AppendStatusLine(const QString &line) {
  std::fprintf(stderr, "%s\n", line.toUtf8().constData());
  std::fflush(stderr);
  lines_.append(line);
}

void CliFrontEnd::StartCard() {
  card_started_ms_ = QDateTime::currentMSecsSinceEpoch();
  asked_ = false;
}

FrontEnd::Answer CliFrontEnd::AskRetryCancel(const QString &question) {
  if (Interrupted()) return Answer::kCancel;
  if (interactive_ && isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "%s [W]iederholen/[A]bbrechen (r/c): ", question.toUtf8().constData());
    std::fflush(stderr);
    std::string answer;
    // A signal ends the read (the handler does not restart it): the card operation ends.
    if (!std::getline(std::cin, answer) || Interrupted()) {
      std::cin.clear();
      return Answer::kCancel;
    }
    const char first = answer.empty() ? 'r' : answer.front();
    return (first == 'c' || first == 'C' || first == 'a' || first == 'A') ? Answer::kCancel
                                                                          : Answer::kRetry;
  }
  if (!asked_) {
    asked_ = true;
    AppendStatusLine(question);
  }
  // The deadline belongs to the card operation, not to the question: a silent reader whose every
  // look takes seconds cannot stretch it.
  const qint64 waited = QDateTime::currentMSecsSinceEpoch() - card_started_ms_;
  if (waited >= static_cast<qint64>(wait_card_s_) * 1000) return Answer::kCancel;
  SleepUnlessInterrupted(kRetryPauseMs);
  return Interrupted() ? Answer::kCancel : Answer::kRetry;
}

void CliFrontEnd::ShowMessage(const QString &text) {
  AppendStatusLine(text);
}

void CliFrontEnd::CardDone() {
  if (card_done_) card_done_();
}

QStringList CliFrontEnd::TakeLines() {
  QStringList taken;
  taken.swap(lines_);
  return taken;
}

}  // namespace quillmate::cli
