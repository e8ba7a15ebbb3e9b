// The PDF report of a series: a heading naming the series, its summary (the ledger it comes from,
// when it was made, cards, first and last value, failures, gaps, reissues, stations) and the table
// of its ledger rows in the order of reservation, on A4 landscape pages with the table's header
// repeated on every page and the page number in the footer. The texts are the program's (German,
// English when its English texts are installed).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

#include "writer/ledger/series_ledger.h"

namespace quillmate {

struct SeriesReportSource {
  LedgerSummary summary;
  std::vector<LedgerEntry> entries;  // the series' rows, in the order of reservation
  QString ledger_name;               // the database the rows come from (SeriesLedger::Name())
  QString program_line;              // the program's name and version, for the footer
  QDateTime made_at;                 // when the report is made (shown in UTC)
};

// The report as the bytes of a PDF file. Needs a QGuiApplication (the offscreen platform will do).
QByteArray SeriesReportPdf(const SeriesReportSource &source);

// Writes the report to `path` whole or not at all (WriteWholeFile). False with `why` naming the
// file and the reason.
bool WriteSeriesReport(const QString &path, const SeriesReportSource &source, QString *why);

}  // namespace quillmate
