// Keeps the window alive while the library waits for a reader's reply: the events are processed
// on every tick of a wait.
#include "ui/reader_wait.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "kovra.h"
#include "ui/busy_guard.h"

namespace quillmate::ui {
namespace {

void OnReaderWait(int event, int /*handle*/, int background_mode, void * /*context*/) {
  if (event == KOVRA_WAIT_END) return;
  // A BusyGuard already drops input; without one, input outside a cycle waits for the reply.
  const bool hold_input = background_mode == 0 && !BusyGuard::Busy();
  QCoreApplication::processEvents(hold_input ? QEventLoop::ExcludeUserInputEvents
                                             : QEventLoop::AllEvents);
}

}  // namespace

void InstallReaderWaitHandler() {
  KOVRA_SetWaitHandler(OnReaderWait, nullptr);
}

void RemoveReaderWaitHandler() {
  KOVRA_SetWaitHandler(nullptr, nullptr);
}

}  // namespace quillmate::ui
