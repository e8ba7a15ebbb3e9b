// A file written whole or not at all: the exports and reports a front end saves.
#pragma once

#include <QByteArray>
#include <QString>

namespace quillmate {

// Writes `bytes` to `path` through a temporary file beside it, flushed to the disk and renamed
// over `path` only once every byte is there: afterwards the file is whole, or it is as it was
// before (an older file stays, no temporary file is left). A new file gets mode 0600, a replaced
// one keeps its mode. False with `why` naming the file and the reason.
//
// Not QSaveFile: it reports a commit as done when the disk took only part of the bytes (a short
// write under a file size limit), which would leave a cut export in place of a whole one.
bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString *why);

}  // namespace quillmate
