// The program around the window: its language, the window itself, and the restart in the other
// language after a switch.
#include "ui/quillmate_app.h"

#include <QUrl>

#include "ui/user_guide.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>

#include "ui/qt_texts.h"
#include "ui/quillmate_dlg.h"
#include "ui/reader_wait.h"
#include "ui/termination_signals.h"
#include "writer/language/translation.h"

namespace quillmate::ui {

QStringList CQuillmateApp::EnglishFolders() {
  return EnglishTextsFolders();
}

CQuillmateApp::CQuillmateApp(QApplication &app, SettingsStore &settings, QStringList text_folders)
    : app_(app),
      settings_(settings),
      text_folders_(std::move(text_folders)),
      beeper_(&alsa_beeper_) {}

int CQuillmateApp::Run() {
  // The window is closed and opened again on a language switch; that is no reason to quit.
  app_.setQuitOnLastWindowClosed(false);
  InstallReaderWaitHandler();
  QPointer<CQuillmateDlg> current;
  bool terminated = false;
  WatchTerminationSignals([&] {
    terminated = true;
    // Dialogs opened from the window (port choice, settings, a question) end first, as if
    // cancelled: the window's own loop cannot end while one of them runs above it, and the
    // program would wait for someone to close it.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
      auto *dialog = qobject_cast<QDialog *>(widget);
      if (dialog != nullptr && dialog != current && dialog->isVisible()) dialog->reject();
    }
    if (current) current->reject();
  });
  int result = 0;
  do {
    const Language language = settings_.LoadOperatorSettings().language;
    // Without the English texts the window stays German; "Sprache" keeps the operator's choice.
    // A German window also gets Qt's own buttons in German.
    if (language == Language::kEnglish && InstallEnglishTexts(app_, text_folders_)) {
      RemoveQtGermanTexts(app_);
    } else {
      RemoveEnglishTexts(app_);
      InstallQtGermanTexts(app_);
    }
    CQuillmateDlg window(settings_, language, beeper_);
    current = &window;
    ++windows_opened_;
    window.show();
    window.ConnectAtStart();
    window.SetUpdateChecker(&UpdateCheck());
    if (window_hook_) window_hook_(window);
    result = terminated ? QDialog::Rejected : window.exec();
    if (terminated) window.done(QDialog::Rejected);
  } while (result == kLanguageSwitchResult && !terminated);
  StopWatchingTerminationSignals();
  RemoveReaderWaitHandler();
  return 0;
}

UpdateChecker &CQuillmateApp::UpdateCheck() {
  if (!update_checker_) {
    const OperatorSettings settings = settings_.LoadOperatorSettings();
    UpdateSource source;
    source.list_address = settings.update_address;
    source.ca_file = settings.update_ca_file;
    update_checker_ = std::make_unique<UpdateChecker>(source);
    update_checker_->SetHandler(
        [](const QString &path) { return OpenWithDesktop(QUrl::fromLocalFile(path)); });
  }
  return *update_checker_;
}

}  // namespace quillmate::ui
