#include "ui/busy_guard.h"

#include <QApplication>
#include <QEvent>
#include <QObject>

namespace quillmate::ui {
namespace {

// Drops the operator's input to every window of the program.
class InputBlocker : public QObject {
 protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
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
