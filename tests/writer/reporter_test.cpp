// The one place that talks to a front end: repeats dropped during a cycle tick (messages always,
// lines only for a front end that asks for it), and a missing front end that answers Cancel.
#include "writer/reporter.h"

#include <gtest/gtest.h>

#include "support/recording_front_end.h"

namespace {

using quillmate::FrontEnd;
using quillmate::Reporter;

TEST(Reporter, RepeatsAreDroppedOnlyDuringATick) {
  quillmate_test::RecordingFrontEnd front_end;
  Reporter report(&front_end);
  const QString error = QStringLiteral("Timeout <Read>");
  for (const bool suppress_lines : {false, true}) {
    SCOPED_TRACE(suppress_lines);
    front_end.lines.clear();
    report.SetSuppressRepeatedLines(suppress_lines);
    report.ForgetLastMessage();
    report.SetTickRunning(true);
    for (int tick = 0; tick < 3; ++tick) {
      report.Message(QStringLiteral("Kein gültiger Transponder vorhanden!"));
      report.Line(error);
    }
    report.SetTickRunning(false);
    report.Line(error);  // outside a tick every line shows
    const int error_lines = static_cast<int>(front_end.lines.count(error));
    EXPECT_EQ(front_end.lines.count(QStringLiteral("Kein gültiger Transponder vorhanden!")), 1);
    EXPECT_EQ(error_lines, suppress_lines ? 2 : 4);
  }
}

TEST(Reporter, WithoutAFrontEndQuestionsAreCancelled) {
  Reporter report;
  report.Line(QStringLiteral("nowhere"));
  EXPECT_EQ(report.AskRetryCancel(QStringLiteral("Bitte Karte auflegen!")),
            FrontEnd::Answer::kCancel);
}

}  // namespace
