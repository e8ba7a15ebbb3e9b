// The window stays alive while the library waits for a reader's reply: the library calls the
// handler installed here on every tick of a wait, and the handler processes the program's events
// (repaints, timers, the click that stops a cycle). Outside a cycle (background mode off) the
// operator's input is held back until the reply is in, as it is under a BusyGuard.
#pragma once

namespace quillmate::ui {

// Installs the handler for the whole process; RemoveReaderWaitHandler takes it away again.
void InstallReaderWaitHandler();
void RemoveReaderWaitHandler();

}  // namespace quillmate::ui
