// The file dialogs of the window: the log files' and the job files' choices with their titles,
// filters and default extensions. Tests answer them through SetFileChoiceHook.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace quillmate::ui {

enum class JobFileChoice { kLoad, kSave };

// A save dialog for the write log (`write_log`) or the read log, starting at `current`; the file
// is not required to exist, and choosing an existing one asks nothing (lines are appended).
// Empty when the operator cancels; otherwise the path, with ".txt" when typed without extension.
QString ChooseLogFile(QWidget *parent, bool write_log, const QString &current);

// An open or save dialog for job files; a name typed without extension gets ".KVMFDat". Empty
// when the operator cancels.
QString ChooseJobFile(QWidget *parent, JobFileChoice choice);

enum class SeriesFileChoice { kCsv, kJson, kPdf };

// A save dialog for a series' export (CSV or JSON) or its PDF report, starting at `start`; a name
// typed without extension gets ".csv", ".json" or ".pdf", and an existing file is replaced only
// after the dialog's question. Empty when the operator cancels.
QString ChooseSeriesFile(QWidget *parent, SeriesFileChoice choice, const QString &start);

// What a file dialog was asked for, for tests.
struct FileChoiceRequest {
  QString title;
  QString filter;
  QString start;
  bool save = false;
  bool confirm_overwrite = false;  // a save dialog asks before an existing file is replaced
};
// Replaces the dialogs by `hook`, which returns the chosen path or an empty text (tests); an empty
// hook brings the real dialogs back. The default extension is still added to what it returns.
using FileChoiceHook = std::function<QString(const FileChoiceRequest &)>;
void SetFileChoiceHook(FileChoiceHook hook);

}  // namespace quillmate::ui
