// What the card sequences of the writer share for one open reader: the port handle, the reporter
// that reaches the front end, the language of the library's texts, the clock, and the memory of
// the cards seen (current and last UID, last-seen tick, same-card flag). The front end (GUI
// window, CLI) owns one and keeps it while the port is open.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>

#include "writer/language/language.h"
#include "writer/reporter.h"

namespace quillmate {

struct CardMemory {
  QByteArray current_uid;      // the card activated last (up to 10 bytes)
  QByteArray last_uid;         // the last card written or read successfully; empty: none
  quint64 last_seen_tick = 0;  // ms tick of the last full detection of a DESFire card; 0: none
  bool same_card = false;      // the card on the reader is the last processed one
};

struct WriterContext {
  int handle = 0;  // the open port (KOVRA_OpenPort)
  Reporter report;
  Language language = Language::kGerman;  // of the library's error texts
  // Milliseconds of a steady clock; tests drive it.
  std::function<quint64()> tick_ms;
  // Pauses between RF field off and on; tests may skip them.
  std::function<void(int ms)> sleep_ms;
  CardMemory cards;
};

// A context with the system's steady clock and real sleeps. `front_end` may be null.
WriterContext MakeWriterContext(int handle, FrontEnd *front_end, Language language);

}  // namespace quillmate
