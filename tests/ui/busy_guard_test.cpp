// A card operation drops the operator's clicks on the window it runs in, but a question it asks
// meanwhile can be answered.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "ui/busy_guard.h"

namespace {

TEST(BusyGuard, DropsInputToTheBusyWindowButNotToAQuestionOpenedMeanwhile) {
  QPushButton busy_window(QStringLiteral("Einzeln"));
  busy_window.show();
  int busy_clicks = 0;
  QObject::connect(&busy_window, &QPushButton::clicked, [&] { ++busy_clicks; });
  {
    quillmate::ui::BusyGuard guard;
    EXPECT_TRUE(quillmate::ui::BusyGuard::Busy());
    QPushButton question(QStringLiteral("Wiederholen"));
    question.show();
    int answers = 0;
    QObject::connect(&question, &QPushButton::clicked, [&] { ++answers; });
    QTest::mouseClick(&busy_window, Qt::LeftButton);
    QTest::keyClick(&busy_window, Qt::Key_Space);
    QTest::mouseClick(&question, Qt::LeftButton);
    EXPECT_EQ(busy_clicks, 0);
    EXPECT_EQ(answers, 1);
  }
  EXPECT_FALSE(quillmate::ui::BusyGuard::Busy());
  QTest::mouseClick(&busy_window, Qt::LeftButton);
  EXPECT_EQ(busy_clicks, 1);
}

}  // namespace
