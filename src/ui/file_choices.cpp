// The window's file dialogs for log files and job files, and the hook that answers them in tests.
#include "ui/file_choices.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>

#include "writer/job/job_file.h"

namespace quillmate::ui {
namespace {

struct Texts {
  Q_DECLARE_TR_FUNCTIONS(CQuillmateDlg)
};

FileChoiceHook &Hook() {
  static FileChoiceHook hook;
  return hook;
}

QString WithExtension(const QString &path, const QString &extension) {
  if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
  return path + QLatin1Char('.') + extension;
}

QString Ask(QWidget *parent, const FileChoiceRequest &request) {
  if (Hook()) return Hook()(request);
  QFileDialog dialog(parent, request.title, request.start, request.filter);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirm_overwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

}  // namespace

QString ChooseLogFile(QWidget *parent, bool write_log, const QString &current) {
  FileChoiceRequest request;
  request.title = write_log ? Texts::tr("Logdatei \"Schreiben\" wählen")
                            : Texts::tr("Logdatei \"Lesen\" wählen");
  request.filter = Texts::tr("Log Files (*.txt);;All Files (*)");
  request.start = current;
  request.save = true;
  // Log lines are appended to an existing log: choosing it replaces nothing.
  request.confirm_overwrite = false;
  return WithExtension(Ask(parent, request), QStringLiteral("txt"));
}

QString ChooseJobFile(QWidget *parent, JobFileChoice choice) {
  FileChoiceRequest request;
  request.title = choice == JobFileChoice::kLoad ? Texts::tr("Konfiguration lesen")
                                                 : Texts::tr("Konfiguration schreiben");
  request.filter = Texts::tr("Data Files (*.KOVRA_DesfireSet *.KVMFDat);;All Files (*)");
  request.save = choice == JobFileChoice::kSave;
  request.confirm_overwrite = request.save;
  const QString chosen = Ask(parent, request);
  return choice == JobFileChoice::kSave ? WithJobFileExtension(chosen) : chosen;
}

QString ChooseSeriesFile(QWidget *parent, SeriesFileChoice choice, const QString &start) {
  FileChoiceRequest request;
  QString extension;
  switch (choice) {
    case SeriesFileChoice::kCsv:
      request.title = Texts::tr("Serie als CSV exportieren");
      request.filter = Texts::tr("CSV-Dateien (*.csv);;Alle Dateien (*)");
      extension = QStringLiteral("csv");
      break;
    case SeriesFileChoice::kJson:
      request.title = Texts::tr("Serie als JSON exportieren");
      request.filter = Texts::tr("JSON-Dateien (*.json);;Alle Dateien (*)");
      extension = QStringLiteral("json");
      break;
    case SeriesFileChoice::kPdf:
      request.title = Texts::tr("Bericht der Serie speichern");
      request.filter = Texts::tr("PDF-Dateien (*.pdf);;Alle Dateien (*)");
      extension = QStringLiteral("pdf");
      break;
  }
  request.start = start;
  request.save = true;
  request.confirm_overwrite = true;
  return WithExtension(Ask(parent, request), extension);
}

void SetFileChoiceHook(FileChoiceHook hook) {
  Hook() = std::move(hook);
}

}  // namespace quillmate::ui
