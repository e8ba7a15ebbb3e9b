// The window's status box: one line per message, emptied when it grows too long, scrolled to the
// newest line.
#include "ui/status_box.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

namespace quillmate::ui {

void AppendStatus(QPlainTextEdit *box, const QString &line) {
  if (box->document()->isEmpty() ? false : box->blockCount() > kMaxStatusLines) box->clear();
  box->appendPlainText(line);
  box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
}

QStringList StatusBoxLines(const QPlainTextEdit *box) {
  if (box->document()->isEmpty()) return {};
  return box->toPlainText().split(QLatin1Char('\n'));
}

}  // namespace quillmate::ui
