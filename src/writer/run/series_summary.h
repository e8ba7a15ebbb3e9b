// The one line that sums up a series when its cycle ends, the same numbers in the window's status
// box and on the command line.
#pragma once

#include <QString>

#include "writer/run/operations.h"

namespace quillmate {

enum class SummaryWording {
  // The operator's language: "N Karten fertig, F Fehlversuche, S Werte übersprungen", English
  // when the English texts are installed.
  kOperator,
  // Always "N cards done, F failed attempts, S values skipped": scripts parse the command line's
  // line, whatever the language of its status lines.
  kScripts,
};

QString SeriesSummary(const SeriesCounts &counts, SummaryWording wording);

}  // namespace quillmate
