// Every message box of the window and its dialogs goes through ShowMessageBox, so that a test can
// answer it (SetMessageBoxHook) instead of a modal box waiting for a click that never comes.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace quillmate::ui {

enum class BoxIcon { kInformation, kWarning, kCritical, kQuestion };
// kYesNoDefaultNo: a question whose Yes gives something up (a value given out again); Enter
// answers No.
enum class BoxButtons { kOk, kRetryCancel, kYesNo, kYesNoDefaultNo };
enum class BoxAnswer { kOk, kRetry, kCancel, kYes, kNo };

// Shows `text` in a modal box over `parent` (may be null), titled with the program's name, and
// returns the button the operator chose; closing the box answers Cancel, No or OK.
BoxAnswer ShowMessageBox(QWidget *parent, const QString &text, BoxIcon icon = BoxIcon::kWarning,
                         BoxButtons buttons = BoxButtons::kOk);

// Replaces the boxes by `hook` (tests); an empty hook brings the real boxes back.
using MessageBoxHook = std::function<BoxAnswer(const QString &text, BoxIcon, BoxButtons)>;
void SetMessageBoxHook(MessageBoxHook hook);

// Replaces the hook while it lives and puts back the one before it (a window that closes quietly
// inside a test leaves the test's hook in place).
class ScopedMessageBoxHook {
 public:
  explicit ScopedMessageBoxHook(MessageBoxHook hook);
  ~ScopedMessageBoxHook();
  ScopedMessageBoxHook(const ScopedMessageBoxHook &) = delete;
  ScopedMessageBoxHook &operator=(const ScopedMessageBoxHook &) = delete;

 private:
  MessageBoxHook previous_;
};

}  // namespace quillmate::ui
