// Numbered lines appended to a plain-text file that several processes (stations on a shared
// folder) may append to at the same time: each line gets the file's next running number, exactly
// once, in constant time however long the file has grown.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace quillmate {

// How long an append waits for another process that is appending to the same file.
inline constexpr int kLineAppendLockTimeoutMs = 5000;

// Makes the whole line (with its LF) for running number `number`.
using NumberedLine = std::function<QByteArray(qint64 number)>;

// Appends line_for(number) to `file_name`, creating the file (as the umask allows) when missing.
// The number is the count of lines already in the file plus one: every LF ends a line, and a last
// line without its LF counts and gets its LF first, so the new line never joins it.
//
// Count and append happen under an flock() on the file, held by every process appending through
// this function, so two processes never give out one number (a file system that keeps no locks
// at all is appended to without one). The count is remembered per file
// (device and inode) with the file's size and modification time after the last append; the file
// is read only when it changed behind this process's back: from the remembered size on when it
// only grew (another station appended), from the start otherwise.
//
// True once the line is written whole and synced to the disk. False when the file could not be
// opened, locked, read or written, or is not a regular file; a line that could not be written
// whole is cut off again, so the file never ends in a stub.
bool AppendNumberedLine(const QString &file_name, const NumberedLine &line_for);

}  // namespace quillmate
