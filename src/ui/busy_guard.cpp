// Drops the operator's clicks and keys while a single card operation runs and the window keeps
// repainting.
#include "ui/busy_guard.h"

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QSet>
#include <QWidget>

namespace quillmate::ui {
namespace {

// Drops the operator's input to the windows that were open when the operation started.
class InputBlocker : public QObject {
 public:
  InputBlocker() {
    for (QWidget *window : QApplication::topLevelWidgets()) busy_windows_.insert(window);
  }

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (widget == nullptr || !busy_windows_.contains(widget->window())) {
      return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::ShortcutOverride:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
        return true;
      default:
        return QObject::eventFilter(watched, event);
    }
  }

 private:
  QSet<QWidget *> busy_windows_;
};

int depth = 0;
InputBlocker *blocker = nullptr;

}  // namespace

BusyGuard::BusyGuard() {
  if (depth++ > 0) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  blocker = new InputBlocker;
  qApp->installEventFilter(blocker);
}

BusyGuard::~BusyGuard() {
  if (--depth > 0) return;
  qApp->removeEventFilter(blocker);
  delete blocker;
  blocker = nullptr;
  QApplication::restoreOverrideCursor();
}

bool BusyGuard::Busy() {
  return depth > 0;
}

}  // namespace quillmate::ui
