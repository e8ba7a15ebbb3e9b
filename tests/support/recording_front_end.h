// A front end for tests of the writer core: it records every status line, lamp, data text,
// question and message, answers retry/cancel questions from a script (Cancel when the script is
// used up) and counts the finished cards. Shared by the core's tests and the window's tests.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "writer/front_end.h"

namespace quillmate_test {

class RecordingFrontEnd : public quillmate::FrontEnd {
 public:
  void AppendStatusLine(const QString &line) override {
    lines.append(line);
    if (on_line) on_line(line);
  }
  Answer AskRetryCancel(const QString &question) override {
    questions.append(question);
    if (before_answer) before_answer();
    if (answers.empty()) return Answer::kCancel;
    const Answer next = answers.front();
    answers.pop_front();
    return next;
  }
  void ShowMessage(const QString &text) override { messages.append(text); }
  void ShowLamp(quillmate::Lamp lamp) override { lamps.push_back(lamp); }
  void ShowData(const QString &text) override { shown.append(text); }
  void CardDone() override { ++cards_done; }

  bool Contains(const QString &line) const { return lines.contains(line); }
  // True when a line ends with `tag` (a failed call: error text + tag).
  bool HasTag(const QString &tag) const {
    for (const QString &line : lines) {
      if (line.endsWith(tag)) return true;
    }
    return false;
  }

  QStringList lines;
  std::vector<quillmate::Lamp> lamps;
  QStringList shown;
  int cards_done = 0;
  // The script of answers, and an action run before each answer (a test lays a card down there).
  std::deque<Answer> answers;
  std::function<void()> before_answer;
  QStringList questions;
  QStringList messages;
  // Runs after each recorded line (a test can act as a front end's event loop there).
  std::function<void(const QString &)> on_line;
};

}  // namespace quillmate_test
