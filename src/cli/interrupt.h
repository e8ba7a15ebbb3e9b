// Ctrl-C and SIGTERM (a service manager's stop, `timeout`) ask the running command to stop: a
// card in progress is ended at its next question or finished, never left halfway by the signal
// itself. A closed stdout (`| head -1`) does not end the program either.
#pragma once

namespace quillmate::cli {

// Installs the handlers for SIGINT and SIGTERM (without SA_RESTART, so that a question waiting on
// the terminal gives up) and ignores SIGPIPE. ReleaseInterrupts() restores the defaults.
void CatchInterrupts();
void ReleaseInterrupts();

// True once SIGINT or SIGTERM came.
bool Interrupted();

// Sleeps `ms` milliseconds, or less when a signal comes meanwhile.
void SleepUnlessInterrupted(int ms);

}  // namespace quillmate::cli
