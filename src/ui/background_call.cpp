// A blocking library call run on a thread of its own while the window keeps repainting.
#include "ui/background_call.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <memory>

#include "ui/busy_guard.h"

namespace quillmate::ui {

void RunInBackground(const std::function<void()> &call) {
  BusyGuard busy;
  QEventLoop loop;
  std::unique_ptr<QThread> worker(QThread::create(call));
  QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
  worker->start();
  // finished() reaches the loop as a queued event, so a call that ends before the loop runs still
  // ends it.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker->wait();
}

void PauseWithEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace quillmate::ui
