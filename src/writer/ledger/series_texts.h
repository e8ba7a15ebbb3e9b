// How a series' summary and rows read for the operator, the same in the window's series view and
// in the PDF report (German, English when the program's English texts are installed).
#pragma once

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "writer/ledger/series_ledger.h"

namespace quillmate {

// A label and its value, e.g. {"Karten", "12"}.
using SeriesSummaryLine = std::pair<QString, QString>;

// The summary's lines in their order: the database, cards, first and last value, failures, gaps,
// reissues, stations (a value that is not there shows as "–").
std::vector<SeriesSummaryLine> SeriesSummaryLines(const LedgerSummary &summary,
                                                  const QString &database);

// The titles of the columns SeriesRowCells fills: value, UID, station, operator, reserved,
// finished, result.
QStringList SeriesColumnTitles();

// One ledger row as those columns show it: the UID as the card log shows it, the times in UTC
// ("2026-03-01 09:15:02"), the result in words (a reissue says so).
QStringList SeriesRowCells(const LedgerEntry &entry);

// A time as the series' view and report show it, in UTC; empty for an invalid time.
QString SeriesTimeText(const QDateTime &time);

}  // namespace quillmate
