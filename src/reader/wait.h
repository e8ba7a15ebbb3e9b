// Timing of a wait for a reply, and the application's wait handler.
#pragma once

#include <chrono>

#include "kovra.h"

namespace kovra {

using Clock = std::chrono::steady_clock;

// A phase of the wait has timed out once MORE than timeout_ms whole milliseconds have passed
// since it started: a reply that completes at exactly T still counts.
bool PhaseExpired(Clock::duration elapsed, unsigned timeout_ms);

// The first instant at which a phase that started at `start` has expired.
Clock::time_point PhaseDeadline(Clock::time_point start, unsigned timeout_ms);

// The handler is called at least this often while a wait goes on.
constexpr std::chrono::milliseconds kWaitTickInterval{10};

// How often a polled transport (one without a receive thread) is read during a wait.
constexpr std::chrono::milliseconds kPollInterval{1};

// The process-wide wait handler of KOVRA_SetWaitHandler.
void SetWaitHandler(KOVRA_WaitHandler handler, void *context);
bool HasWaitHandler();
// Calls the handler, if one is installed, with the event.
void CallWaitHandler(int event, int handle, bool background_mode);

}  // namespace kovra
