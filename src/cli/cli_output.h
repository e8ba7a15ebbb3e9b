// What the commands print: JSON lines on stdout, messages on stderr, UIDs in hex.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace quillmate::cli {

// A UID in hex, first byte first.
QString UidHex(const QByteArray &uid);

// One compact JSON object and a line break on stdout, flushed at once (a script reads along).
void PrintJson(const QJsonObject &object);

// A line on stderr.
void Error(const QString &text);

}  // namespace quillmate::cli
