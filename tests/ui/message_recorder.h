// Answers every message box of the window with `answer` (OK unless a test sets it) while it lives,
// and records what was shown and
// whether a busy guard was active at that moment (a box under the guard cannot be acknowledged).
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "ui/busy_guard.h"
#include "ui/message_box.h"

namespace quillmate_test {

class MessageRecorder {
 public:
  MessageRecorder() {
    quillmate::ui::SetMessageBoxHook(
        [this](const QString &text, quillmate::ui::BoxIcon icon, quillmate::ui::BoxButtons) {
          texts.append(text);
          icons.push_back(icon);
          if (quillmate::ui::BusyGuard::Busy()) ++shown_while_busy;
          return answer;
        });
  }
  ~MessageRecorder() { quillmate::ui::SetMessageBoxHook({}); }
  MessageRecorder(const MessageRecorder &) = delete;
  MessageRecorder &operator=(const MessageRecorder &) = delete;

  QStringList texts;
  std::vector<quillmate::ui::BoxIcon> icons;
  int shown_while_busy = 0;
  quillmate::ui::BoxAnswer answer = quillmate::ui::BoxAnswer::kOk;
};

}  // namespace quillmate_test
