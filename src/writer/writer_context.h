// What the card sequences of the writer share for one open reader: the port handle, where they
// report and ask, the clock, and the memory of the cards seen (current and last UID, last-seen
// tick, same-card flag). The front end (GUI window, CLI) owns one and keeps it while the port is
// open.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>

#include "writer/prompter.h"
#include "writer/status_sink.h"

namespace quillmate {

enum class Lamp { kRed, kYellow, kGreen };

struct CardMemory {
  QByteArray current_uid;      // the card activated last (up to 10 bytes)
  QByteArray last_uid;         // the last card written or read successfully; empty: none
  quint64 last_seen_tick = 0;  // ms tick of the last full detection of a DESFire card; 0: none
  bool same_card = false;      // the card on the reader is the last processed one
};

struct WriterContext {
  int handle = 0;  // the open port (KOVRA_OpenPort)
  StatusSink *status = nullptr;
  Prompter *prompter = nullptr;
  int language = 1;  // 1 German, 0 English: for the library's error texts and the log words
  // Milliseconds of a steady clock; tests drive it.
  std::function<quint64()> tick_ms;
  // Pauses between RF field off and on; tests may skip them.
  std::function<void(int ms)> sleep_ms;
  // Shows the traffic light; may be empty.
  std::function<void(Lamp)> show_lamp;
  CardMemory cards;
};

// The port's last error as text in the context's language (the library's texts are UTF-8).
QString LastErrorText(const WriterContext &context);

// A context with the system's steady clock and real sleeps.
WriterContext MakeWriterContext(int handle, StatusSink &status, Prompter &prompter);

}  // namespace quillmate
