// The words for a value the series' ledger holds already: who got it and when, for the
// question before it is written again and for the refusal when it is not.
#pragma once

#include <QString>

#include "writer/ledger/series_ledger.h"

namespace quillmate {

// "Der Wert <V> wurde in dieser Serie schon vergeben: Karte <UID> am D." (or, for a row a station
// left unfinished, that the value was reserved then without a finished card); `earlier` is the
// latest row holding the value.
QString HeldValueText(const QString &value, const LedgerEntry &earlier);

// HeldValueText and the question whether to write it again as a reissue (default answer: no).
QString ReissueQuestionText(const QString &value, const LedgerEntry &earlier);

}  // namespace quillmate
