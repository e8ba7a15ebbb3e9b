// Laying a series' summary and rows out as PDF pages.
#include "report/series_report.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCoreApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include "writer/ledger/series_texts.h"
#include "writer/records/whole_file.h"

namespace quillmate {
namespace {

// The operator texts of the report, context "SeriesReport" (lupdate collects them from
// Texts::tr).
struct Texts {
  Q_DECLARE_TR_FUNCTIONS(SeriesReport)
};

constexpr int kDpi = 300;
constexpr double kFooterMm = 10.0;
const QString kBodyFamily = QStringLiteral("DejaVu Sans");
const QColor kRuleColour(0x9a, 0xa8, 0xb8);

QString Escaped(const QString &text) {
  return text.toHtmlEscaped();
}

QString SummaryHtml(const SeriesReportSource &source) {
  QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\">");
  std::vector<SeriesSummaryLine> lines = SeriesSummaryLines(source.summary, source.ledger_name);
  lines.insert(lines.begin() + 1, {Texts::tr("Erstellt (UTC)"), SeriesTimeText(source.made_at)});
  for (const auto &[label, value] : lines) {
    html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                .arg(Escaped(label), Escaped(value));
  }
  return html + QStringLiteral("</table>");
}

QString CardsHtml(const std::vector<LedgerEntry> &entries) {
  QString html = QStringLiteral(
      "<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
      "style=\"border-collapse: collapse; border-color: #9aa8b8\"><thead><tr>");
  for (const QString &title : QStringList{Texts::tr("Nr.")} + SeriesColumnTitles()) {
    html += QStringLiteral("<th bgcolor=\"#eef1f5\" align=\"left\">%1</th>").arg(Escaped(title));
  }
  html += QStringLiteral("</tr></thead>");
  int number = 0;
  for (const LedgerEntry &entry : entries) {
    QStringList cells{QString::number(++number)};
    for (const QString &cell : SeriesRowCells(entry)) cells.append(Escaped(cell));
    html += QStringLiteral("<tr><td>") + cells.join(QStringLiteral("</td><td>")) +
            QStringLiteral("</td></tr>");
  }
  return html + QStringLiteral("</table>");
}

QString ReportHtml(const SeriesReportSource &source) {
  const QString heading = Texts::tr("Serie %1").arg(source.summary.series);
  QString html = QStringLiteral("<h1 style=\"color: #1f3a5f\">%1</h1>").arg(Escaped(heading));
  html += SummaryHtml(source);
  html += QStringLiteral("<h2 style=\"color: #1f3a5f\">%1</h2>").arg(Escaped(Texts::tr("Karten")));
  if (source.entries.empty()) {
    html += QStringLiteral("<p>%1</p>").arg(Escaped(Texts::tr("Die Serie hat noch keine Karten.")));
  } else {
    html += CardsHtml(source.entries);
  }
  return html;
}

QFont DeviceFont(double points, QPaintDevice *device) {
  QFont font(kBodyFamily);
  font.setPointSizeF(points);
  return QFont(font, device);
}

void PaintPage(QPainter &painter, QTextDocument &doc, const QSizeF &text_area, double footer,
               const QString &footer_text, int index, int total) {
  const QRectF view(0, index * text_area.height(), text_area.width(), text_area.height());
  painter.save();
  painter.setClipRect(QRectF(QPointF(0, 0), text_area));
  painter.translate(0, -view.top());
  QAbstractTextDocumentLayout::PaintContext context;
  context.clip = view;
  context.palette.setColor(QPalette::Text, Qt::black);
  doc.documentLayout()->draw(&painter, context);
  painter.restore();

  const double rule = text_area.height() + footer * 0.3;
  painter.setPen(QPen(kRuleColour, kDpi / 150.0));
  painter.drawLine(QPointF(0, rule), QPointF(text_area.width(), rule));
  painter.setPen(QColor(0x55, 0x55, 0x55));
  painter.setFont(DeviceFont(8, painter.device()));
  const QRectF area(0, rule + kDpi / 30.0, text_area.width(), footer * 0.6);
  painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, footer_text);
  painter.drawText(area, Qt::AlignRight | Qt::AlignTop,
                   QStringLiteral("%1 / %2").arg(index + 1).arg(total));
}

}  // namespace

QByteArray SeriesReportPdf(const SeriesReportSource &source) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setResolution(kDpi);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                   QMarginsF(15, 15, 15, 10), QPageLayout::Millimeter));
  const QString title = Texts::tr("Serie %1").arg(source.summary.series);
  writer.setTitle(title);
  writer.setCreator(source.program_line);

  QTextDocument doc;
  doc.documentLayout()->setPaintDevice(&writer);
  QFont body(kBodyFamily);
  body.setPointSizeF(8.5);
  doc.setDefaultFont(body);
  doc.setDocumentMargin(0);
  const QRectF inside = writer.pageLayout().paintRectPixels(kDpi);
  const double footer = kFooterMm / 25.4 * kDpi;
  const QSizeF text_area(inside.width(), inside.height() - footer);
  doc.setPageSize(text_area);
  // The header row of the cards' table (its <thead>) repeats at the top of every page it reaches.
  doc.setHtml(ReportHtml(source));

  const int total = doc.pageCount();
  const QString footer_text = source.program_line + QStringLiteral(" · ") + title;
  QPainter painter(&writer);
  painter.setRenderHint(QPainter::Antialiasing);
  for (int index = 0; index < total; ++index) {
    if (index > 0) writer.newPage();
    PaintPage(painter, doc, text_area, footer, footer_text, index, total);
  }
  painter.end();
  return bytes;
}

bool WriteSeriesReport(const QString &path, const SeriesReportSource &source, QString *why) {
  return WriteWholeFile(path, SeriesReportPdf(source), why);
}

}  // namespace quillmate
