#include "cli/cli_front_end.h"

#include <unistd.h>

#include <QDateTime>
#include <QThread>
#include <cstdio>
#include <iostream>
#include <string>

namespace quillmate::cli {

void CliFrontEnd::AppendStatusLine(const QString &line) {
  std::fprintf(stderr, "%s\n", line.toUtf8().constData());
  std::fflush(stderr);
  lines_.append(line);
}

FrontEnd::Answer CliFrontEnd::AskRetryCancel(const QString &question) {
  if (interactive_ && isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "%s [W]iederholen/[A]bbrechen (r/c): ", question.toUtf8().constData());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return Answer::kCancel;
    const char first = answer.empty() ? 'r' : answer.front();
    return (first == 'c' || first == 'C' || first == 'a' || first == 'A') ? Answer::kCancel
                                                                          : Answer::kRetry;
  }
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  // A question long after the last one belongs to another card: its wait starts anew.
  if (asking_since_ms_ >= 0 && now - last_ask_ms_ > 2000) asking_since_ms_ = -1;
  last_ask_ms_ = now;
  if (asking_since_ms_ < 0) {
    asking_since_ms_ = now;
    AppendStatusLine(question);
  }
  if (now - asking_since_ms_ >= static_cast<qint64>(wait_card_s_) * 1000) {
    asking_since_ms_ = -1;
    return Answer::kCancel;
  }
  QThread::msleep(500);
  return Answer::kRetry;
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
