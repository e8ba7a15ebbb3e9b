// Table rows that stay on one page in the guide's PDF: rows cut by a page break are moved whole.
#include "whole_rows.h"

#include <QAbstractTextDocumentLayout>
#include <QRegularExpression>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <set>

namespace {

// Each split changes the layout after it; the guide needs far fewer rounds.
constexpr int kMaxRounds = 200;

QList<QTextTable *> Tables(const QTextDocument &doc) {
  QList<QTextTable *> tables;
  for (QTextFrame *frame : doc.rootFrame()->childFrames()) {
    if (auto *table = qobject_cast<QTextTable *>(frame)) tables.append(table);
  }
  return tables;
}

// Where a row's text lies: from the first line of its highest cell to the last of its lowest.
bool IsCut(const QTextDocument &doc, QTextTable &table, int row, double page_height) {
  double top = std::numeric_limits<double>::max();
  double bottom = 0;
  QAbstractTextDocumentLayout *layout = doc.documentLayout();
  for (int column = 0; column < table.columns(); ++column) {
    const QTextTableCell cell = table.cellAt(row, column);
    if (!cell.isValid() || cell.row() != row) continue;
    top = std::min(top, layout->blockBoundingRect(doc.findBlock(cell.firstPosition())).top());
    bottom =
        std::max(bottom, layout->blockBoundingRect(doc.findBlock(cell.lastPosition())).bottom());
  }
  const double height = bottom - top;
  return height > 0 && height < page_height &&
         std::floor(top / page_height) != std::floor((bottom - 0.5) / page_height);
}

struct CutRow {
  int table = 0;
  int row = 0;
};

// The first cut row of a table not in `given_up`.
std::optional<CutRow> FirstCutRow(const QTextDocument &doc, const std::set<int> &given_up) {
  const double page_height = doc.pageSize().height();
  const QList<QTextTable *> tables = Tables(doc);
  for (int t = 0; t < tables.size(); ++t) {
    if (given_up.count(t) != 0) continue;
    for (int row = tables[t]->format().headerRowCount(); row < tables[t]->rows(); ++row) {
      if (IsCut(doc, *tables[t], row, page_height)) return CutRow{t, row};
    }
  }
  return std::nullopt;
}

// The Markdown's tables as the line index of their header row, in document order.
QList<int> TableStarts(const QStringList &lines) {
  static const QRegularExpression separator(
      QStringLiteral(R"(^\s*\|?\s*:?-+:?\s*(\|\s*:?-+:?\s*)*\|?\s*$)"));
  QList<int> starts;
  bool in_code = false;
  bool in_table = false;
  for (int i = 0; i < lines.size(); ++i) {
    const QString line = lines[i].trimmed();
    if (line.startsWith(QLatin1String("```"))) in_code = !in_code;
    if (in_code || !line.startsWith(u'|')) {
      in_table = false;
      continue;
    }
    if (!in_table && i + 1 < lines.size() && separator.match(lines[i + 1]).hasMatch()) {
      starts.append(i);
      in_table = true;
    }
  }
  return starts;
}

// The page break before table `index`: on the heading right before it when `with_heading`.
void BreakBefore(QTextDocument &doc, QTextTable &table, bool with_heading) {
  const QTextBlock before = doc.findBlock(table.firstPosition() - 1);
  if (with_heading && before.isValid() && before.blockFormat().headingLevel() > 0) {
    QTextBlockFormat format = before.blockFormat();
    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCursor(before).setBlockFormat(format);
    return;
  }
  QTextTableFormat format = table.format();
  format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
  table.setFormat(format);
}

}  // namespace

int SetMarkdownWithWholeRows(QTextDocument &doc, const QString &markdown,
                             const std::function<void(QTextDocument &)> &style) {
  QStringList lines = markdown.split(u'\n');
  std::set<int> continued;  // tables split off another one: they start a page
  std::set<int> moved;      // tables moved to the next page with their heading
  std::set<int> given_up;   // tables whose first row is cut even on a page of their own
  for (int round = 0;; ++round) {
    doc.setMarkdown(lines.join(u'\n'), QTextDocument::MarkdownDialectGitHub);
    style(doc);
    const QList<QTextTable *> tables = Tables(doc);
    for (int t = 0; t < tables.size(); ++t) {
      if (continued.count(t) != 0 || moved.count(t) != 0) {
        BreakBefore(doc, *tables[t], moved.count(t) != 0);
      }
    }
    const std::optional<CutRow> cut = FirstCutRow(doc, given_up);
    if (!cut) return 0;
    if (round == kMaxRounds) break;
    const int header = tables[cut->table]->format().headerRowCount();
    if (cut->row <= header) {
      // Its first row: the whole table goes to the next page, once.
      if (continued.count(cut->table) != 0 || moved.count(cut->table) != 0) {
        given_up.insert(cut->table);
      } else {
        moved.insert(cut->table);
      }
      continue;
    }
    // A copy of the header (and its separator line) before the row starts the next table.
    const QList<int> starts = TableStarts(lines);
    if (cut->table >= starts.size()) break;  // the Markdown and the document disagree
    const int start = starts[cut->table];
    const int at = start + 1 + cut->row;  // the separator line follows the header row
    lines.insert(at, lines[start + 1]);
    lines.insert(at, lines[start]);
    lines.insert(at, QString());
    const auto shifted = [&cut](const std::set<int> &tables_after) {
      std::set<int> result;
      for (int t : tables_after) result.insert(t > cut->table ? t + 1 : t);
      return result;
    };
    continued = shifted(continued);
    moved = shifted(moved);
    given_up = shifted(given_up);
    continued.insert(cut->table + 1);
  }
  // Rounds used up: what is still cut is reported.
  int cut_rows = 0;
  const double page_height = doc.pageSize().height();
  for (QTextTable *table : Tables(doc)) {
    for (int row = 0; row < table->rows(); ++row) {
      if (IsCut(doc, *table, row, page_height)) ++cut_rows;
    }
  }
  return std::max(cut_rows, 1);
}
