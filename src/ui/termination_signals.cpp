// SIGTERM and SIGINT brought to the Qt event loop through a pipe the signal handler writes to.
#include "ui/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>
#include <memory>

namespace quillmate::ui {
namespace {

int signal_pipe[2] = {-1, -1};
std::unique_ptr<QSocketNotifier> notifier;
std::function<void()> callback;

void OnSignal(int) {
  const char byte = 1;
  // A full pipe already holds a wake-up; losing this one changes nothing.
  [[maybe_unused]] const ssize_t written = write(signal_pipe[1], &byte, 1);
}

}  // namespace

void WatchTerminationSignals(std::function<void()> on_signal) {
  callback = std::move(on_signal);
  if (signal_pipe[0] < 0 && pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier = std::make_unique<QSocketNotifier>(signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
    char bytes[16];
    while (read(signal_pipe[0], bytes, sizeof bytes) > 0) {
    }
    if (callback) callback();
  });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

void StopWatchingTerminationSignals() {
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  notifier.reset();
  callback = nullptr;
}

}  // namespace quillmate::ui
