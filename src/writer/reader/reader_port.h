// Opening the reader the operator chose: the port name built from the "Port" settings and the
// library's open-and-identify call, for every front end.
#pragma once

#include <QString>
#include <utility>

#include "writer/cards/writer_context.h"
#include "writer/settings/settings_store.h"

namespace quillmate {

// The port name to open: "Name" without its list prefix ("USB: ", "LAN: ", "Bluetooth: "), with
// ":Adresse" appended for a bus address other than the first
// (a name that already holds a ':' keeps its own). Empty when no port was chosen.
QString ReaderPortName(const PortSettings &port);

struct OpenedReader {
  int handle = 0;        // the open port (> 0), or 0
  QString port_name;     // the name that was opened (or tried); empty when none was chosen
  int open_result = 0;   // KOVRA_OpenPort's result: the handle, or its negative failure code
  int link_failure = 0;  // why the link did not open (KOVRA_GetLinkFailure), for KOVRA_OPEN_FAILED
  bool ok() const { return handle > 0; }
};

// Why the reader did not open, for the operator: a missing device, one this user may not open
// (with the fix: group "dialout" or the program's udev rules), one another program holds, a name
// that is no serial device, or a link that opened but no reader answered. Empty when it opened.
QString OpenFailureText(const OpenedReader &reader);

// Opens and identifies the reader of `port` with its baud rate and timeout. Not ok with an empty
// port_name when no port was chosen; not ok with open_result when the library refused it.
OpenedReader OpenReader(const PortSettings &port);

// What a card operation says when the window has no reader: that none is connected and where
// one is chosen (the field would be searched for a card in vain).
QString NoReaderText();
// What a card operation says when the reader stopped answering because its link went down (an
// unplugged adapter, a pulled cable): at once, instead of asking for a card it cannot see.
QString ReaderLostText();
// True when `handle` is an open port whose link went down.
bool ReaderLinkLost(int handle);

// Watches the reader of a running cycle. A reader whose device went away (an unplugged adapter,
// a pulled cable) is reported at once, naming the port; the port is then opened again at most
// every `retry_ms`, and the return of the reader is reported too. Meanwhile the cycle's ticks do
// nothing.
class ReaderWatch {
 public:
  explicit ReaderWatch(PortSettings port, int retry_ms = kDefaultRetryMs)
      : port_(std::move(port)), retry_ms_(retry_ms) {}

  static constexpr int kDefaultRetryMs = 2000;

  // True when the context's reader can be used now. When the link was lost, closes the port (the
  // context's handle becomes 0) and, when the time has come, opens it again (the context gets
  // the new handle, true).
  bool Check(WriterContext &context);
  // True from the loss of the reader until it is back.
  bool Lost() const { return lost_; }
  // How often the reader was lost while watched.
  int Losses() const { return losses_; }

 private:
  quint64 Now(const WriterContext &context) const;

  PortSettings port_;
  int retry_ms_;
  bool lost_ = false;
  int losses_ = 0;
  quint64 next_try_ms_ = 0;
};

}  // namespace quillmate
