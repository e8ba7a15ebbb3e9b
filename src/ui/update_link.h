// The about box's update label: a link label that the keyboard and assistive technology reach as
// well as the mouse. While it is a link it takes the focus (Tab), Return, Enter or Space activate
// it, and screen readers see a button named by its text with a press action; otherwise it is plain
// text that Tab passes by.
#pragma once

#include <functional>

#include "ui/label.h"

namespace quillmate::ui {

class UpdateLink : public CLabel {
  Q_OBJECT

 public:
  explicit UpdateLink(QWidget *parent = nullptr);

  // What the link does when activated by a click, a key or a press action.
  void SetActivation(std::function<void()> activate);
  // Makes it a link (focusable, activatable) or plain text.
  void SetLinkOn(bool on);
  // Runs the activation if the label is a link.
  void Activate();

 protected:
  void keyPressEvent(QKeyEvent *event) override;

 private:
  std::function<void()> activate_;
};

}  // namespace quillmate::ui
