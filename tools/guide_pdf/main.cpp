// quillmate-guide-pdf: turns one Markdown file of the operator's guide into an A4 PDF: a title page
// (the file's first heading, the program's name and version), then the text with page numbers in
// a footer.
//
//   quillmate-guide-pdf --program NAME --version VERSION [--preview DIR] INPUT.md OUTPUT.pdf
//
// The PDF is written to a temporary file beside OUTPUT and renamed when it is complete, so a
// failure leaves no output (and no half-written one from an earlier run is taken for new).
// --preview also renders every page into DIR/page-NN.png at 150 dpi, for looking at the layout.
// Runs on any Qt platform, the offscreen one included (no display needed).
#include <QAbstractTextDocumentLayout>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <cstdio>
#include <optional>

#include "whole_rows.h"

namespace {

constexpr int kDpi = 300;
constexpr int kPreviewDpi = 150;
constexpr double kFooterMm = 12.0;
const QString kBodyFamily = QStringLiteral("DejaVu Sans");
const QString kMonoFamily = QStringLiteral("DejaVu Sans Mono");
const QColor kHeadingColour(0x1f, 0x3a, 0x5f);
const QColor kRuleColour(0x9a, 0xa8, 0xb8);
const QColor kShadeColour(0xee, 0xf1, 0xf5);

void Fail(const QString &text) {
  std::fprintf(stderr, "quillmate-guide-pdf: %s\n", qUtf8Printable(text));
}

struct Guide {
  QString title;
  QString body;  // the Markdown after the title heading
};

// The guide's text: UTF-8, not empty. The first line "# Title" is the title page's heading.
std::optional<Guide> ReadGuide(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    Fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return std::nullopt;
  }
  const QByteArray bytes = file.readAll();
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString text = decoder(bytes);
  if (decoder.hasError()) {
    Fail(QStringLiteral("%1 is not UTF-8 text").arg(path));
    return std::nullopt;
  }
  if (text.trimmed().isEmpty()) {
    Fail(QStringLiteral("%1 is empty").arg(path));
    return std::nullopt;
  }
  Guide guide{{}, text};
  const QString first = text.section(u'\n', 0, 0).trimmed();
  if (first.startsWith(QLatin1String("# "))) {
    guide.title = first.mid(2).trimmed();
    guide.body = text.section(u'\n', 1);
  }
  return guide;
}

// Applies the character format change to each fragment of the block, so that what the Markdown
// import set (bold, italics, code) stays. The fragments are collected first: changing a format can
// merge fragments under a running iterator.
template <typename Change>
void ChangeFragments(QTextDocument &doc, const QTextBlock &block, Change change) {
  struct Piece {
    int position;
    int length;
    QTextCharFormat format;
  };
  QList<Piece> pieces;
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    pieces.append({fragment.position(), fragment.length(), fragment.charFormat()});
  }
  for (Piece &piece : pieces) {
    change(piece.format);
    QTextCursor cursor(&doc);
    cursor.setPosition(piece.position);
    cursor.setPosition(piece.position + piece.length, QTextCursor::KeepAnchor);
    cursor.setCharFormat(piece.format);
  }
}

void StyleHeading(QTextDocument &doc, const QTextBlock &block, int level) {
  static constexpr double kPointSizes[] = {20.0, 16.0, 13.0, 11.0};
  const double size = kPointSizes[qBound(1, level, 4) - 1];
  ChangeFragments(doc, block, [size](QTextCharFormat &format) {
    format.clearProperty(QTextFormat::FontSizeAdjustment);
    format.setFontPointSize(size);
    format.setFontWeight(QFont::Bold);
    format.setForeground(kHeadingColour);
  });
  QTextBlockFormat format = block.blockFormat();
  format.setTopMargin(level <= 2 ? 16 : 10);
  format.setBottomMargin(6);
  // A chapter starts on a page of its own (the first one starts the text anyway).
  const bool chapter = level == 1 && block != doc.begin();
  format.setPageBreakPolicy(chapter ? QTextFormat::PageBreak_AlwaysBefore
                                    : QTextFormat::PageBreak_Auto);
  QTextCursor(block).setBlockFormat(format);
}

void StyleTable(QTextTable &table) {
  QTextTableFormat format = table.format();
  format.setBorder(kDpi / 150.0);
  format.setBorderBrush(kRuleColour);
  format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
  format.setBorderCollapse(true);
  format.setCellSpacing(0);
  format.setCellPadding(4);
  format.setHeaderRowCount(1);
  format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
  format.setTopMargin(4);
  format.setBottomMargin(8);
  table.setFormat(format);
  for (int column = 0; column < table.columns(); ++column) {
    QTextTableCell cell = table.cellAt(0, column);
    QTextTableCellFormat cell_format = cell.format().toTableCellFormat();
    cell_format.setBackground(kShadeColour);
    cell.setFormat(cell_format);
  }
}

void StyleTables(QTextFrame *frame) {
  for (QTextFrame *child : frame->childFrames()) {
    if (auto *table = qobject_cast<QTextTable *>(child)) StyleTable(*table);
    StyleTables(child);
  }
}

// Gives the imported Markdown the guide's look: the project's fonts, coloured headings, ruled
// tables with a shaded header row that repeats on a new page, shaded code blocks.
void Style(QTextDocument &doc) {
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    const QTextBlockFormat format = block.blockFormat();
    if (format.headingLevel() > 0) {
      StyleHeading(doc, block, format.headingLevel());
      continue;
    }
    const bool code_block = format.hasProperty(QTextFormat::BlockCodeFence);
    ChangeFragments(doc, block, [code_block](QTextCharFormat &chars) {
      if (!code_block && !chars.fontFixedPitch()) return;
      chars.setFontFamilies(QStringList{kMonoFamily});
      if (!code_block) chars.setBackground(kShadeColour);
    });
    QTextBlockFormat changed = format;
    if (code_block) {
      changed.setBackground(kShadeColour);
      changed.setLeftMargin(format.leftMargin() + 6);
    } else {
      changed.setLineHeight(115, QTextBlockFormat::ProportionalHeight);
    }
    QTextCursor(block).setBlockFormat(changed);
  }
  StyleTables(doc.rootFrame());
}

// The page in the painter's coordinates (device pixels at kDpi, origin at the top left corner of
// the area inside the margins): the text's area, then the footer.
struct PageGeometry {
  QSizeF text;
  double footer_height = 0;
};

QFont DeviceFont(const QString &family, double points, bool bold, QPaintDevice *device) {
  QFont font(family);
  font.setPointSizeF(points);
  font.setBold(bold);
  return QFont(font, device);
}

void PaintTitlePage(QPainter &painter, const PageGeometry &page, const Guide &guide,
                    const QString &program_line) {
  const double width = page.text.width();
  const double top = page.text.height() * 0.3;
  QPaintDevice *device = painter.device();
  painter.setPen(QPen(kHeadingColour, kDpi / 36.0));
  painter.drawLine(QPointF(0, top), QPointF(width, top));

  painter.setFont(DeviceFont(kBodyFamily, 26, true, device));
  const QRectF title_area(0, top + kDpi / 6.0, width, page.text.height() * 0.3);
  QRectF used;
  painter.drawText(title_area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, guide.title, &used);

  painter.setPen(Qt::black);
  painter.setFont(DeviceFont(kBodyFamily, 14, false, device));
  painter.drawText(QRectF(0, used.bottom() + kDpi / 4.0, width, kDpi),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, program_line);
}

void PaintTextPage(QPainter &painter, const PageGeometry &page, QTextDocument &doc, int index,
                   const QString &program_line, int number, int total) {
  const QRectF view(0, index * page.text.height(), page.text.width(), page.text.height());
  painter.save();
  painter.setClipRect(QRectF(QPointF(0, 0), page.text));
  painter.translate(0, -view.top());
  QAbstractTextDocumentLayout::PaintContext context;
  context.clip = view;
  context.palette.setColor(QPalette::Text, Qt::black);
  doc.documentLayout()->draw(&painter, context);
  painter.restore();

  const double rule = page.text.height() + page.footer_height * 0.35;
  painter.setPen(QPen(kRuleColour, kDpi / 150.0));
  painter.drawLine(QPointF(0, rule), QPointF(page.text.width(), rule));
  painter.setPen(QColor(0x55, 0x55, 0x55));
  painter.setFont(DeviceFont(kBodyFamily, 8, false, painter.device()));
  const QRectF footer(0, rule + kDpi / 30.0, page.text.width(), page.footer_height * 0.5);
  painter.drawText(footer, Qt::AlignLeft | Qt::AlignTop, program_line);
  painter.drawText(footer, Qt::AlignRight | Qt::AlignTop,
                   QStringLiteral("%1 / %2").arg(number).arg(total));
}

// Paints page `number` (1 = the title page) with the painter at the top left corner of the area
// inside the margins.
void PaintPage(QPainter &painter, const PageGeometry &page, QTextDocument &doc, const Guide &guide,
               const QString &program_line, int number, int total) {
  if (number == 1) {
    PaintTitlePage(painter, page, guide, program_line);
  } else {
    PaintTextPage(painter, page, doc, number - 2, program_line, number, total);
  }
}

bool WritePreview(const QString &folder, const QPageLayout &layout, const PageGeometry &page,
                  QTextDocument &doc, const Guide &guide, const QString &program_line, int total) {
  if (!QDir().mkpath(folder)) {
    Fail(QStringLiteral("cannot make the folder %1").arg(folder));
    return false;
  }
  const QRect full = layout.fullRectPixels(kPreviewDpi);
  const QRectF inside = layout.paintRectPixels(kDpi);
  const double scale = double(kPreviewDpi) / kDpi;
  for (int number = 1; number <= total; ++number) {
    QImage image(full.size(), QImage::Format_RGB32);
    // Fonts are resolved for the PDF's resolution, then the whole page is scaled down.
    image.setDotsPerMeterX(qRound(kDpi / 0.0254));
    image.setDotsPerMeterY(qRound(kDpi / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    painter.translate(inside.topLeft());
    PaintPage(painter, page, doc, guide, program_line, number, total);
    painter.end();
    const QString path =
        QDir(folder).filePath(QStringLiteral("page-%1.png").arg(number, 2, 10, QLatin1Char('0')));
    if (!image.save(path)) {
      Fail(QStringLiteral("cannot write %1").arg(path));
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char *argv[]) {
  QGuiApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("quillmate-guide-pdf"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Turns a Markdown guide into an A4 PDF."));
  parser.addHelpOption();
  const QCommandLineOption program_option(QStringLiteral("program"),
                                          QStringLiteral("Program name for the title page."),
                                          QStringLiteral("NAME"));
  const QCommandLineOption version_option(QStringLiteral("version"),
                                          QStringLiteral("Program version for the title page."),
                                          QStringLiteral("VERSION"));
  const QCommandLineOption preview_option(
      QStringLiteral("preview"), QStringLiteral("Also render the pages as PNG files into DIR."),
      QStringLiteral("DIR"));
  parser.addOptions({program_option, version_option, preview_option});
  parser.addPositionalArgument(QStringLiteral("input"), QStringLiteral("The Markdown file."));
  parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("The PDF to write."));
  parser.process(app);

  const QStringList files = parser.positionalArguments();
  if (files.size() != 2 || !parser.isSet(program_option) || !parser.isSet(version_option)) {
    Fail(
        QStringLiteral("usage: quillmate-guide-pdf --program NAME --version VERSION "
                       "[--preview DIR] INPUT.md OUTPUT.pdf"));
    return 2;
  }
  const QString program_line =
      parser.value(program_option) + QLatin1Char(' ') + parser.value(version_option);
  std::optional<Guide> guide = ReadGuide(files[0]);
  if (!guide) return 1;
  if (guide->title.isEmpty()) guide->title = parser.value(program_option);

  QSaveFile output(files[1]);
  if (!output.open(QIODevice::WriteOnly)) {
    Fail(QStringLiteral("cannot write %1: %2").arg(files[1], output.errorString()));
    return 1;
  }
  QPdfWriter writer(&output);
  writer.setResolution(kDpi);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(22, 18, 20, 12), QPageLayout::Millimeter));
  writer.setTitle(guide->title);
  writer.setCreator(program_line);

  QTextDocument doc;
  doc.documentLayout()->setPaintDevice(&writer);
  QFont body_font(kBodyFamily);
  body_font.setPointSizeF(10);
  doc.setDefaultFont(body_font);
  doc.setDocumentMargin(0);
  PageGeometry page;
  const QRectF inside = writer.pageLayout().paintRectPixels(kDpi);
  page.footer_height = kFooterMm / 25.4 * kDpi;
  page.text = QSizeF(inside.width(), inside.height() - page.footer_height);
  doc.setPageSize(page.text);
  // A row cut between two pages would be read as two rows, or half of one missed.
  if (const int cut = SetMarkdownWithWholeRows(doc, guide->body, Style); cut > 0) {
    Fail(QStringLiteral("%1: %2 table rows are taller than a page and cut between pages")
             .arg(files[0])
             .arg(cut));
    return 1;
  }
  const int total = doc.pageCount() + 1;

  QPainter painter(&writer);
  if (!painter.isActive()) {
    Fail(QStringLiteral("cannot paint into %1").arg(files[1]));
    return 1;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  for (int number = 1; number <= total; ++number) {
    if (number > 1) writer.newPage();
    PaintPage(painter, page, doc, *guide, program_line, number, total);
  }
  painter.end();
  if (!output.commit()) {
    Fail(QStringLiteral("cannot write %1: %2").arg(files[1], output.errorString()));
    return 1;
  }
  if (parser.isSet(preview_option) &&
      !WritePreview(parser.value(preview_option), writer.pageLayout(), page, doc, *guide,
                    program_line, total)) {
    return 1;
  }
  return 0;
}
