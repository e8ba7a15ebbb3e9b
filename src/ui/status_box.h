// The window's status box: one line per message, emptied when it would grow past
// kMaxStatusLines, always scrolled to its newest line.
#pragma once

#include <QString>
#include <QStringList>

class QPlainTextEdit;

namespace quillmate::ui {

inline constexpr int kMaxStatusLines = 1000;

// Appends `line`; a box that already holds more than kMaxStatusLines lines is emptied first.
void AppendStatus(QPlainTextEdit *box, const QString &line);

// The lines the box holds (none when it is empty).
QStringList StatusBoxLines(const QPlainTextEdit *box);

}  // namespace quillmate::ui
