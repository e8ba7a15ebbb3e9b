// The operator's card logs: one line per written or read card, appended to a plain-text file.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

#include "writer/job/desfire_set.h"

namespace quillmate {

// The local date and time a log line records; tests pass a fixed one.
using LogClock = std::function<QDateTime()>;
QDateTime SystemLogClock();

enum class LogOutcome {
  kWritten,  // the line was appended
  kNoFile,   // the file name is empty: nothing to do, nothing to report
  kFailed,   // the file could not be opened or written; report status_line
};

struct LogResult {
  LogOutcome outcome = LogOutcome::kNoFile;
  // For kFailed: the status line that names the file ("Die Protokollzeile konnte nicht in die
  // Datei <...> geschrieben werden!"). A card without its line is a failed card: the caller
  // shows this line and stops. Empty otherwise.
  QString status_line;
};

// The line for one card without its running number and line end: date and time, UID, data format
// words (translated), App ID, File ID, length and value, TAB-separated. The UID shows its bytes
// from the last to the first for 4- and 7-byte UIDs and is empty for any other length.
QString LogLineBody(const DesfireSet &job, const QByteArray &uid, const QDateTime &now);

// Appends "running number TAB body LF" to `file_name`, creating the file if needed. The running
// number is the number of lines already in the file plus one (every line counts, also those of
// the other log when both logs share a file, and those other stations append to a shared log). A
// file whose last line lacks its line end gets one first, so the new line never joins it. The
// value logged is job.data. kWritten only once the line is whole on the disk; on kFailed the file
// is as it was (no half line). See AppendNumberedLine for the locking and the remembered count.
LogResult WriteLogLine(const QString &file_name, const DesfireSet &job, const QByteArray &uid,
                       const LogClock &clock = SystemLogClock);

// Whether a log switched on can take a line, asked before the first card rather than found out
// after one: a card without its record is a failure.
struct LogFileCheck {
  enum class Problem {
    kNone,           // a line can be appended
    kNoFile,         // no file name chosen
    kFolderMissing,  // the file's folder does not exist (MakeLogFolder can make it)
    kNotWritable,    // the file or its folder cannot be written
  };
  Problem problem = Problem::kNone;
  // For a problem: the operator's sentence naming the file or folder and the reason.
  QString message;
  // The folder of the file (for kFolderMissing: the one to make).
  QString folder;
  bool ok() const { return problem == Problem::kNone; }
};
LogFileCheck CheckLogFile(const QString &file_name);

// Makes the folder of `file_name` with its missing parents (as the user's umask allows); false
// when that fails.
bool MakeLogFolder(const QString &file_name);

}  // namespace quillmate
