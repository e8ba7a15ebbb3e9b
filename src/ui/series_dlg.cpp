// The series view: summary, latest cards, exports and report.
#include "ui/series_dlg.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

#include "report/series_report.h"
#include "ui/message_box.h"
#include "writer/ledger/ledger_export.h"
#include "writer/ledger/series_texts.h"
#include "writer/records/whole_file.h"

namespace quillmate::ui {
namespace {

// The folder the file dialogs start in, with a name the operator may change.
QString StartFile(SeriesFileChoice choice) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const char *name = choice == SeriesFileChoice::kCsv    ? "Serie.csv"
                     : choice == SeriesFileChoice::kJson ? "Serie.json"
                                                         : "Serie.pdf";
  return QDir(folder).filePath(QLatin1String(name));
}

}  // namespace

CSeriesDlg::CSeriesDlg(SeriesReader read, QString program_line, QWidget *parent)
    : QDialog(parent), read_(std::move(read)), program_line_(std::move(program_line)) {
  setWindowTitle(tr("Serie"));
  auto *layout = new QVBoxLayout(this);

  title_ = new QLabel(this);
  title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  title_->setWordWrap(true);
  QFont title_font = title_->font();
  title_font.setBold(true);
  title_->setFont(title_font);
  layout->addWidget(title_);

  problem_ = new QLabel(this);
  problem_->setWordWrap(true);
  problem_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  problem_->setObjectName(QStringLiteral("series_problem"));
  layout->addWidget(problem_);

  summary_box_ = new QWidget(this);
  auto *form = new QFormLayout(summary_box_);
  form->setContentsMargins(0, 0, 0, 0);
  for (const SeriesSummaryLine &line : SeriesSummaryLines(LedgerSummary{}, QString())) {
    auto *label = new QLabel(line.first + QLatin1Char(':'), summary_box_);
    auto *value = new QLabel(summary_box_);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);
    label->setBuddy(value);
    form->addRow(label, value);
    summary_.append(qMakePair(label, value));
  }
  layout->addWidget(summary_box_);

  auto *latest_label =
      new QLabel(tr("Letzte Karten (die neueste zuerst, höchstens %1):").arg(kLatestRows), this);
  layout->addWidget(latest_label);
  const QStringList titles = SeriesColumnTitles();
  latest_ = new QTableWidget(0, int(titles.size()), this);
  latest_->setHorizontalHeaderLabels(titles);
  latest_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  latest_->setSelectionBehavior(QAbstractItemView::SelectRows);
  latest_->verticalHeader()->setVisible(false);
  latest_->horizontalHeader()->setStretchLastSection(true);
  latest_->setAccessibleName(latest_label->text());
  latest_label->setBuddy(latest_);
  layout->addWidget(latest_, 1);

  auto *buttons = new QHBoxLayout;
  csv_ = new QPushButton(tr("&CSV exportieren ..."), this);
  json_ = new QPushButton(tr("&JSON exportieren ..."), this);
  report_ = new QPushButton(tr("PDF-&Bericht ..."), this);
  auto *refresh = new QPushButton(tr("&Aktualisieren"), this);
  auto *close = new QPushButton(tr("&Schliessen"), this);
  for (QPushButton *button : {csv_, json_, report_, refresh}) buttons->addWidget(button);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  for (QPushButton *button : findChildren<QPushButton *>()) button->setAutoDefault(false);
  connect(csv_, &QPushButton::clicked, this, &CSeriesDlg::ExportCsv);
  connect(json_, &QPushButton::clicked, this, &CSeriesDlg::ExportJson);
  connect(report_, &QPushButton::clicked, this, &CSeriesDlg::SaveReport);
  connect(refresh, &QPushButton::clicked, this, &CSeriesDlg::Refresh);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  resize(900, 560);
  Refresh();
}

QList<QPair<QString, QString>> CSeriesDlg::SummaryShown() const {
  QList<QPair<QString, QString>> shown;
  for (const auto &[label, value] : summary_) shown.append(qMakePair(label->text(), value->text()));
  return shown;
}

QString CSeriesDlg::Problem() const {
  return problem_->isHidden() ? QString() : problem_->text();
}

void CSeriesDlg::Refresh() {
  Show(read_());
}

void CSeriesDlg::Show(const SeriesRecord &record) {
  title_->setText(tr("Serie %1").arg(record.summary.series));
  const QString failure = SeriesRecordProblem(record);
  problem_->setText(failure);
  problem_->setVisible(!failure.isEmpty());
  const bool read = record.outcome == SeriesRecord::Outcome::kRead;
  const std::vector<SeriesSummaryLine> lines = SeriesSummaryLines(record.summary, record.database);
  for (qsizetype i = 0; i < summary_.size() && i < qsizetype(lines.size()); ++i) {
    // Counts of a series that could not be read would read as "no cards": they stay empty.
    const bool always = i == 0;
    summary_[i].second->setText(read || always ? lines[size_t(i)].second : QString());
  }
  const std::vector<LedgerEntry> latest = LatestEntries(record.entries, kLatestRows);
  latest_->setRowCount(int(latest.size()));
  for (int row = 0; row < int(latest.size()); ++row) {
    const QStringList cells = SeriesRowCells(latest[size_t(row)]);
    for (int column = 0; column < int(cells.size()); ++column) {
      latest_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
  }
  latest_->resizeColumnsToContents();
  for (QPushButton *button : {csv_, json_, report_}) button->setEnabled(read);
}

void CSeriesDlg::Save(SeriesFileChoice choice) {
  const QString path = ChooseSeriesFile(this, choice, StartFile(choice));
  if (path.isEmpty()) return;
  // The file holds the series as it is now, not as the dialog showed it when it opened.
  const SeriesRecord record = read_();
  Show(record);
  if (record.outcome != SeriesRecord::Outcome::kRead) {
    ShowMessageBox(this, SeriesRecordProblem(record), BoxIcon::kWarning);
    return;
  }
  QString why;
  bool saved = false;
  if (choice == SeriesFileChoice::kPdf) {
    SeriesReportSource source;
    source.summary = record.summary;
    source.entries = record.entries;
    source.ledger_name = record.database;
    source.program_line = program_line_;
    source.made_at = QDateTime::currentDateTimeUtc();
    saved = WriteSeriesReport(path, source, &why);
  } else {
    const LedgerExportFormat format =
        choice == SeriesFileChoice::kCsv ? LedgerExportFormat::kCsv : LedgerExportFormat::kJson;
    saved = WriteWholeFile(path, LedgerExport(format, record.summary, record.entries), &why);
  }
  if (!saved) {
    ShowMessageBox(this, tr("Die Datei konnte nicht geschrieben werden: %1").arg(why),
                   BoxIcon::kWarning);
    return;
  }
  ShowMessageBox(this,
                 tr("%1 Einträge der Serie in der Datei <%2> gespeichert.")
                     .arg(record.entries.size())
                     .arg(path),
                 BoxIcon::kInformation);
}

}  // namespace quillmate::ui
