// Table rows that stay on one page. Qt's page layout moves a table row to the next page only when
// not even its first line fits; a row of several lines is otherwise cut between two pages, and the
// reader finds half a cell at the foot of one page and the rest under the repeated header of the
// next. Here such a table is split in the Markdown before the row: the rest becomes a table of its
// own, with the header row again, that starts on a new page.
#pragma once

#include <QString>
#include <functional>

class QTextDocument;

// Sets `doc` (whose page size is set) to `markdown` (GitHub dialect), given its look by `style`,
// with its tables split so that no row shorter than a page crosses a page boundary. A table whose
// first row would be cut moves to the next page whole, with the heading just before it. Returns
// how many rows still cross a boundary (rows taller than a page; 0 for the guide).
int SetMarkdownWithWholeRows(QTextDocument &doc, const QString &markdown,
                             const std::function<void(QTextDocument &)> &style);
