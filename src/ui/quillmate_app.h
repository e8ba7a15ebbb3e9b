// The program around the window: the language of its texts, the window itself, and the restart
// in the other language after a switch. SIGTERM and SIGINT close the window as "Schliessen" does,
// so a desktop logout or a kill saves the fields and closes the port.
#pragma once

#include <QStringList>
#include <functional>
#include <memory>

#include "writer/run/beeper.h"
#include "writer/settings/settings_store.h"
#include "writer/update/update_checker.h"

class QApplication;

namespace quillmate::ui {

class CQuillmateDlg;

class CQuillmateApp {
 public:
  // `settings` outlives the application object. `text_folders` are searched for the English
  // texts.
  CQuillmateApp(QApplication &app, SettingsStore &settings,
                QStringList text_folders = EnglishFolders());

  // Shows the window until the operator closes it; a language switch opens it again in the
  // language stored in "Sprache" (German when the English texts are missing, the setting kept).
  // A German window has Qt's own buttons and dialogs in German too (where Qt's German texts are
  // installed).
  // Returns the process's exit code.
  int Run();

  // Called with every window after it is shown and its reader connected, before the operator uses
  // it (tests drive the window from here).
  void SetWindowHook(std::function<void(CQuillmateDlg &)> hook) { window_hook_ = std::move(hook); }
  // Replaces the tone (tests); null: no tone.
  void SetBeeper(Beeper *beeper) { beeper_ = beeper; }
  // How many windows were opened.
  int WindowsOpened() const { return windows_opened_; }
  // The process's update check, made on first use from the "Version" settings; a verified package
  // goes to the desktop's handler (the package installer).
  UpdateChecker &UpdateCheck();

 private:
  static QStringList EnglishFolders();

  QApplication &app_;
  SettingsStore &settings_;
  QStringList text_folders_;
  AlsaBeeper alsa_beeper_;
  Beeper *beeper_;
  std::function<void(CQuillmateDlg &)> window_hook_;
  int windows_opened_ = 0;
  std::unique_ptr<UpdateChecker> update_checker_;
};

}  // namespace quillmate::ui
