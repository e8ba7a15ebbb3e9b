// Where the writer core reports progress and failures: the status box of the GUI, stdout/stderr
// of the CLI, a recorder in tests. The core never shows anything itself.
#pragma once

#include <QString>

namespace quillmate {

class StatusSink {
 public:
  virtual ~StatusSink() = default;

  // Appends one status line, always (a failed library call: its error text followed by the
  // bracketed step tag, e.g. "Timeout <SelectApp>").
  virtual void Line(const QString &line) = 0;

  // Appends one status line unless it equals the line shown last by this function while a cycle
  // tick is running: a cycle that meets the same state every 250 ms must not flood the box. The
  // sink knows whether a tick is running (the cycle tells it); outside a tick it acts as Line().
  virtual void Message(const QString &line) = 0;
};

}  // namespace quillmate
