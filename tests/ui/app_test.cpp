// The program around the window: the language of its texts and the restart after a switch.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <csignal>

#include "ui/beep_time_dlg.h"
#include "ui/message_box.h"
#include "ui/qt_texts.h"
#include "ui/quillmate_app.h"
#include "window_rig.h"
#include "writer/language/translation.h"

namespace quillmate_test {
namespace {

class Program : public WindowRig {
 protected:
  void TearDown() override {
    quillmate::RemoveEnglishTexts(*qApp);
    quillmate::ui::RemoveQtGermanTexts(*qApp);
    WindowRig::TearDown();
  }
  void StoreLanguage(quillmate::Language language) {
    quillmate::OperatorSettings stored = settings_->LoadOperatorSettings();
    stored.language = language;
    ASSERT_TRUE(settings_->SaveOperatorSettings(stored));
  }
  // Runs the program; `use` gets each window once its event loop runs.
  int Run(const QStringList &text_folders,
          std::function<void(quillmate::ui::CQuillmateDlg &)> use) {
    quillmate::ui::CQuillmateApp program(*qApp, *settings_, text_folders);
    program.SetBeeper(nullptr);
    program.SetWindowHook([&](quillmate::ui::CQuillmateDlg &window) {
      QTimer::singleShot(0, &window, [&window, &use] { use(window); });
    });
    program.Run();
    return program.WindowsOpened();
  }
};

TEST_F(Program, SwitchingToEnglishOpensTheWindowAgainInEnglish) {
  const QString texts = QFileInfo(QStringLiteral(QUILLMATE_ENGLISH_QM)).absolutePath();
  QStringList closers;
  const int windows = Run({texts}, [&](quillmate::ui::CQuillmateDlg &window) {
    closers.append(window.Form().close->text());
    if (QAction *english = window.MenuAction(QStringLiteral("Englisch"))) {
      english->trigger();
    } else {
      window.reject();
    }
  });
  EXPECT_EQ(windows, 2);
  EXPECT_EQ(closers, (QStringList{QStringLiteral("Schliessen"), QStringLiteral("Close")}));
  EXPECT_EQ(settings_->LoadOperatorSettings().language, quillmate::Language::kEnglish);
}

TEST_F(Program, WithoutTheEnglishTextsTheWindowStaysGermanAndOffersGermanOnly) {
  StoreLanguage(quillmate::Language::kEnglish);
  QTemporaryDir no_texts;
  bool offers_german = false;
  bool offers_english = true;
  QString closer;
  Run({no_texts.path()}, [&](quillmate::ui::CQuillmateDlg &window) {
    offers_german = window.MenuAction(QStringLiteral("Deutsch")) != nullptr;
    offers_english = window.MenuAction(QStringLiteral("Englisch")) != nullptr;
    closer = window.Form().close->text();
    window.reject();
  });
  EXPECT_TRUE(offers_german);
  EXPECT_FALSE(offers_english);
  EXPECT_EQ(closer, QStringLiteral("Schliessen"));
  EXPECT_EQ(settings_->LoadOperatorSettings().language, quillmate::Language::kEnglish);
}

// The buttons of a real message box over `window` (Retry, Cancel, Yes, No in this order, without
// their mnemonics), and the Cancel of the settings dialog's button box: the texts Qt makes itself.
QStringList QtsOwnButtons(QWidget &window) {
  QStringList texts;
  const auto read_box = [&texts](QMessageBox::StandardButtons buttons) {
    QTimer::singleShot(0, [&texts, buttons] {
      auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      for (QMessageBox::StandardButton button :
           {QMessageBox::Retry, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No}) {
        if (buttons.testFlag(button)) texts.append(box->button(button)->text().remove(u'&'));
      }
      box->reject();
    });
  };
  // The real boxes, not the test's answers.
  quillmate::ui::SetMessageBoxHook(nullptr);
  read_box(QMessageBox::Retry | QMessageBox::Cancel);
  quillmate::ui::ShowMessageBox(&window, QStringLiteral("?"), quillmate::ui::BoxIcon::kWarning,
                                quillmate::ui::BoxButtons::kRetryCancel);
  read_box(QMessageBox::Yes | QMessageBox::No);
  quillmate::ui::ShowMessageBox(&window, QStringLiteral("?"), quillmate::ui::BoxIcon::kQuestion,
                                quillmate::ui::BoxButtons::kYesNo);
  quillmate::ui::SetMessageBoxHook(
      [](const QString &, quillmate::ui::BoxIcon, quillmate::ui::BoxButtons) {
        return quillmate::ui::BoxAnswer::kCancel;
      });
  quillmate::ui::CBeepTimeDlg settings(300, 250, &window);
  texts.append(settings.findChild<QDialogButtonBox *>()
                   ->button(QDialogButtonBox::Cancel)
                   ->text()
                   .remove(u'&'));
  return texts;
}

// The German window asks with German buttons, also where Qt makes the buttons itself; after the
// switch to English they are English again.
TEST_F(Program, QtsOwnButtonsSpeakTheWindowsLanguage) {
  const QString texts = QFileInfo(QStringLiteral(QUILLMATE_ENGLISH_QM)).absolutePath();
  QList<QStringList> buttons;
  Run({texts}, [&](quillmate::ui::CQuillmateDlg &window) {
    buttons.append(QtsOwnButtons(window));
    QAction *english = window.MenuAction(QStringLiteral("Englisch"));
    if (buttons.size() == 1 && english != nullptr) {
      english->trigger();
    } else {
      window.reject();
    }
  });
  ASSERT_EQ(buttons.size(), 2);
  EXPECT_EQ(buttons[0], (QStringList{QStringLiteral("Wiederholen"), QStringLiteral("Abbrechen"),
                                     QStringLiteral("Ja"), QStringLiteral("Nein"),
                                     QStringLiteral("Abbrechen")}));
  EXPECT_EQ(buttons[1],
            (QStringList{QStringLiteral("Retry"), QStringLiteral("Cancel"), QStringLiteral("Yes"),
                         QStringLiteral("No"), QStringLiteral("Cancel")}));
}

// A desktop logout sends SIGTERM while the operator has a dialog of the window open: the dialog
// ends as if cancelled, the window saves its fields and the program ends.
TEST_F(Program, ATerminationSignalEndsTheProgramAlsoWithADialogOpen) {
  QDialog *open_dialog = nullptr;
  QElapsedTimer clock;
  clock.start();
  // Should the program hang, the test's own hand closes what is open, so that it fails, not hangs.
  QTimer rescue;
  rescue.setSingleShot(true);
  QObject::connect(&rescue, &QTimer::timeout, [] {
    for (QWidget *widget : QApplication::topLevelWidgets()) widget->close();
  });
  rescue.start(8000);
  Run({}, [&](quillmate::ui::CQuillmateDlg &window) {
    Type(window.Form().data, QStringLiteral("4711"));
    QTimer::singleShot(200, [&] {
      open_dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
      ::raise(SIGTERM);
    });
    window.MenuAction(QStringLiteral("Einstellungen"))->trigger();  // modal until it ends
  });
  EXPECT_LT(clock.elapsed(), 5000) << "the program waited for the dialog to be closed by hand";
  EXPECT_NE(open_dialog, nullptr) << "the settings dialog was not open when the signal came";
  EXPECT_EQ(settings_->LoadJob().data, QStringLiteral("4711"));
}

}  // namespace
}  // namespace quillmate_test
