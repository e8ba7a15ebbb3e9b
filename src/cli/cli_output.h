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

// Asks `question` on the terminal with "[y/N]"; true only for a yes typed there. Without a
// terminal on stdin (a script) nobody is asked: false.
bool AskYesOnTerminal(const QString &question);

// A value the series has given out already (ValueAlreadyGivenOut) is set again only with --yes
// or the operator's yes on the terminal; otherwise `refusal` goes to stderr. `value` and `next`
// name the value and the series' next one.
bool GivenOutValueConfirmed(bool yes, const QString &value, const QString &next,
                            const QString &refusal);

}  // namespace quillmate::cli
