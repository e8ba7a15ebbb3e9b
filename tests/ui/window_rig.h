// The window on a simulated reader: kovra-sim's reader served on a pseudo-terminal with a
// factory-fresh DESFire card, settings in a temporary folder that name that port, message boxes
// and file dialogs answered by the test, and the window connected as at a start.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>

#include "sim/desfire/desfire_card.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "ui/file_choices.h"
#include "ui/message_box.h"
#include "ui/quillmate_dlg.h"
#include "ui/reader_wait.h"
#include "writer/settings/settings_store.h"

namespace quillmate_test {

// Processes events until `done` holds or `ms` have passed; whether it holds.
inline bool WaitFor(const std::function<bool()> &done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

class WindowRig : public ::testing::Test {
 protected:
  static inline const kovra_sim::Bytes kUid = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    // As in the program: the window lives while the library waits for the reader.
    quillmate::ui::InstallReaderWaitHandler();
    ASSERT_TRUE(server_.Start());
    card_ = std::make_shared<kovra_sim::DesfireCard>(kUid);
    reader_.PlaceCard(card_);
    settings_ = std::make_unique<quillmate::SettingsStore>(folder_.path());
    quillmate::OperatorSettings operator_settings = settings_->LoadOperatorSettings();
    operator_settings.port.name = QString::fromStdString(server_.Path());
    operator_settings.port.baud_rate = 115200;
    // The simulator answers at once; the window's 500 ms would be too short only for a machine
    // whose cores are all busy (a sanitizer build with other tests beside it).
    operator_settings.port.timeout_ms = 3000;
    // Tests never reach out to the update location.
    operator_settings.update_check = false;
    operator_settings.logs.write_file = folder_.filePath(QStringLiteral("write.txt"));
    operator_settings.logs.read_file = folder_.filePath(QStringLiteral("read.txt"));
    ASSERT_TRUE(settings_->SaveOperatorSettings(operator_settings));
    quillmate::ui::SetMessageBoxHook(
        [this](const QString &text, quillmate::ui::BoxIcon, quillmate::ui::BoxButtons) {
          boxes.append(text);
          if (answers.empty()) return quillmate::ui::BoxAnswer::kCancel;
          const quillmate::ui::BoxAnswer next = answers.front();
          answers.pop_front();
          return next;
        });
    quillmate::ui::SetFileChoiceHook([this](const quillmate::ui::FileChoiceRequest &request) {
      file_requests.push_back(request);
      return chosen_file;
    });
  }

  void TearDown() override {
    window_.reset();
    quillmate::ui::RemoveReaderWaitHandler();
    quillmate::ui::SetMessageBoxHook(nullptr);
    quillmate::ui::SetFileChoiceHook(nullptr);
  }

  // A window on the settings as they are now, connected to the simulated reader (a failed
  // connection fails the test unless `expect_reader` is false).
  quillmate::ui::CQuillmateDlg &OpenWindow(
      quillmate::Language language = quillmate::Language::kGerman, bool expect_reader = true) {
    window_ = std::make_unique<quillmate::ui::CQuillmateDlg>(*settings_, language, nullptr);
    window_->SetPortChooser([](QWidget *, quillmate::PortSettings &) { return false; });
    window_->show();
    window_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    window_->ConnectAtStart();
    if (expect_reader) {
      EXPECT_GT(window_->PortHandle(), 0) << boxes.join(QLatin1Char('\n')).toStdString();
    }
    return *window_;
  }
  quillmate::ui::CQuillmateDlg &window() { return *window_; }
  const quillmate::ui::MainWindowForm &form() { return window_->Form(); }

  // Pulls the simulated reader's cable for good. The server keeps the pty's number taken until it
  // stops, so the window, which opens the port again by name, never reaches (and locks) a pty that
  // another test's simulator got under the same name.
  void DropLinkForGood() { server_.DropLink(); }

  // Puts `text` into a field as the operator would type it, then leaves the field.
  static void Type(QLineEdit *field, const QString &text) {
    field->setFocus();
    field->selectAll();
    field->insert(text);
    emit field->editingFinished();
  }

  QTemporaryDir folder_;
  kovra_sim::SimReader reader_;
  kovra_sim::PtyServer server_{reader_};
  std::shared_ptr<kovra_sim::DesfireCard> card_;
  std::unique_ptr<quillmate::SettingsStore> settings_;
  std::unique_ptr<quillmate::ui::CQuillmateDlg> window_;
  // What the message boxes showed, and how the next ones are answered (Cancel when used up).
  QStringList boxes;
  std::deque<quillmate::ui::BoxAnswer> answers;
  // What the file dialogs were asked, and the path they all answer with.
  std::vector<quillmate::ui::FileChoiceRequest> file_requests;
  QString chosen_file;
};

}  // namespace quillmate_test
