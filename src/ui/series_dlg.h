// The series view ("Serie" in the Extras menu): the summary of the series the window writes (its
// database, cards, first and last value, failures, gaps, reissues, stations), its latest cards,
// and the exports for the customer's system (CSV, JSON) and the PDF report. The rows come from
// the series' ledger through the core; the dialog shows and saves them and holds no card logic.
#pragma once

#include <QDialog>
#include <functional>

#include "ui/file_choices.h"
#include "writer/ledger/series_record.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace quillmate::ui {

class CSeriesDlg : public QDialog {
  Q_OBJECT

 public:
  // How many of the latest cards the table shows.
  static constexpr int kLatestRows = 50;

  // Reads the series anew: when the dialog opens, on "Aktualisieren", and before each export or
  // report (a write cycle may go on while the dialog is open, and a file holds the rows as they
  // are when it is written). `program_line` names the program in the report's footer.
  using SeriesReader = std::function<SeriesRecord()>;
  CSeriesDlg(SeriesReader read, QString program_line, QWidget *parent = nullptr);

  // --- for the tests --------------------------------------------------------------------------
  // The summary as shown: label and value per line.
  QList<QPair<QString, QString>> SummaryShown() const;
  const QTableWidget *LatestTable() const { return latest_; }
  // The line above the summary that says why there is nothing to show (empty when there is).
  QString Problem() const;
  QPushButton *CsvButton() const { return csv_; }
  QPushButton *JsonButton() const { return json_; }
  QPushButton *ReportButton() const { return report_; }

 public slots:
  void Refresh();
  void ExportCsv() { Save(SeriesFileChoice::kCsv); }
  void ExportJson() { Save(SeriesFileChoice::kJson); }
  void SaveReport() { Save(SeriesFileChoice::kPdf); }

 private:
  void Show(const SeriesRecord &record);
  // Reads the series again and writes the chosen file whole, saying in a box where it went or
  // why it did not.
  void Save(SeriesFileChoice choice);

  SeriesReader read_;
  QString program_line_;
  QLabel *title_ = nullptr;
  QLabel *problem_ = nullptr;
  QWidget *summary_box_ = nullptr;
  QList<QPair<QLabel *, QLabel *>> summary_;
  QTableWidget *latest_ = nullptr;
  QPushButton *csv_ = nullptr;
  QPushButton *json_ = nullptr;
  QPushButton *report_ = nullptr;
};

}  // namespace quillmate::ui
