// Ctrl-C and SIGTERM turned into a request to stop, which the running command answers at its
// next question instead of leaving a card halfway.
#include "cli/interrupt.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace quillmate::cli {
namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
  g_interrupted = true;
}

constexpr int kSleepStepMs = 50;

}  // namespace

void CatchInterrupts() {
  g_interrupted = false;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = 0;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

void ReleaseInterrupts() {
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
}

bool Interrupted() {
  return g_interrupted;
}

void SleepUnlessInterrupted(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!g_interrupted && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kSleepStepMs));
  }
}

}  // namespace quillmate::cli
