// The window on the screens operators have: Qt's offscreen platform given one screen of the size
// and scale in QUILLMATE_TEST_SCREEN ("1280x800", "1920x1080@1.5"), the window connected to the
// simulated reader, idle and with the lamp panel of a running cycle. Every control must lie on
// the screen, where the operator can reach it.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>

#include "ui/lamp_panel.h"
#include "window_rig.h"

namespace quillmate_test {
namespace {

using quillmate::Cycle;
using quillmate::ui::BoxAnswer;

struct ScreenUnderTest {
  QSize pixels;
  double scale = 1.0;
};

// QUILLMATE_TEST_SCREEN as asked for; an empty size when it is missing or malformed.
ScreenUnderTest RequestedScreen() {
  static const QRegularExpression form(QStringLiteral(R"(^(\d+)x(\d+)(?:@([0-9.]+))?$)"));
  const QRegularExpressionMatch match = form.match(qEnvironmentVariable("QUILLMATE_TEST_SCREEN"));
  if (!match.hasMatch()) return {};
  ScreenUnderTest screen{{match.captured(1).toInt(), match.captured(2).toInt()}, 1.0};
  if (match.hasCaptured(3)) screen.scale = match.captured(3).toDouble();
  return screen;
}

class WindowOnScreen : public WindowRig {
 protected:
  // Every visible control of the window, and the window's frame, inside `screen`.
  void ExpectEverythingOn(const QRect &screen) {
    EXPECT_TRUE(screen.contains(window().frameGeometry()))
        << "window frame " << Text(window().frameGeometry()) << " on " << Text(screen);
    int checked = 0;
    for (QWidget *control : window().findChildren<QWidget *>()) {
      const bool reachable =
          qobject_cast<QAbstractButton *>(control) || qobject_cast<QLineEdit *>(control) ||
          qobject_cast<QComboBox *>(control) || qobject_cast<QPlainTextEdit *>(control) ||
          qobject_cast<QLabel *>(control) || qobject_cast<quillmate::ui::LampPanel *>(control);
      if (!reachable || !control->isVisible()) continue;
      const QRect on_screen(control->mapToGlobal(QPoint(0, 0)), control->size());
      EXPECT_TRUE(screen.contains(on_screen))
          << control->metaObject()->className() << " \"" << Caption(control) << "\" at "
          << Text(on_screen) << " on " << Text(screen);
      ++checked;
    }
    EXPECT_GT(checked, 50);
  }

  static std::string Text(const QRect &rect) {
    return QStringLiteral("%1x%2+%3+%4")
        .arg(rect.width())
        .arg(rect.height())
        .arg(rect.x())
        .arg(rect.y())
        .toStdString();
  }

  static std::string Caption(QWidget *control) {
    if (auto *button = qobject_cast<QAbstractButton *>(control))
      return button->text().toStdString();
    if (auto *label = qobject_cast<QLabel *>(control)) return label->text().toStdString();
    return control->accessibleName().toStdString();
  }
};

TEST_F(WindowOnScreen, EveryControlIsOnTheScreenIdleAndDuringACycle) {
  const ScreenUnderTest wanted = RequestedScreen();
  ASSERT_FALSE(wanted.pixels.isEmpty()) << "QUILLMATE_TEST_SCREEN is not set as WxH[@scale]";
  OpenWindow();
  QScreen *screen = window().screen();
  ASSERT_EQ(screen->geometry().size(), wanted.pixels / wanted.scale)
      << "the platform did not take the screen asked for";
  const QRect available = screen->availableGeometry();

  ExpectEverythingOn(available);
  // The status box takes the room the groups leave: more than its least height.
  EXPECT_GT(form().status->height(), 300);

  Type(form().data, QStringLiteral("1"));
  answers = {BoxAnswer::kYes};  // the job's warnings
  form().write_cycle->click();
  ASSERT_EQ(window().Operations().RunningCycle(), Cycle::kWrite);
  ASSERT_TRUE(WaitFor([&] { return form().lamps->isVisible(); }));
  QApplication::processEvents();
  ExpectEverythingOn(available);
  EXPECT_GE(form().lamps->LampSize(), quillmate::ui::LampPanel::kMinLampSize);

  form().write_cycle->click();
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
  ExpectEverythingOn(available);
}

}  // namespace
}  // namespace quillmate_test

// The screen must be configured before the application exists: the offscreen platform reads it
// from a file named in its platform argument, and Qt's scale factor from the environment.
int main(int argc, char **argv) {
  const quillmate_test::ScreenUnderTest wanted = quillmate_test::RequestedScreen();
  QTemporaryDir folder;
  if (!wanted.pixels.isEmpty() && folder.isValid()) {
    const QString config = folder.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (file.open(QIODevice::WriteOnly)) {
      file.write(QStringLiteral(R"({"screens": [{"name": "under-test", "x": 0, "y": 0, )"
                                R"("width": %1, "height": %2, "logicalDpi": 96}]})")
                     .arg(wanted.pixels.width())
                     .arg(wanted.pixels.height())
                     .toUtf8());
      file.close();
      qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toUtf8());
      qputenv("QT_SCALE_FACTOR", QByteArray::number(wanted.scale));
    }
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
