// What the window tells the operator about its reader, on the simulated reader: the title and the
// reader indicator through loss and return, a write without a reader, the port dialog cancelled,
// the messages of a reader that does not open, and the question before a running cycle is closed.
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <list>

#include "window_rig.h"
#include "writer/reader/reader_port.h"

namespace quillmate_test {
namespace {

using quillmate::Cycle;
using quillmate::ui::BoxAnswer;
using ReaderState = quillmate::ui::CQuillmateDlg::ReaderState;

class ReaderStateTest : public WindowRig {
 protected:
  QString Indicator() { return form().reader_state->text(); }
  QString Path() const { return QString::fromStdString(server_.Path()); }
  bool TitleNamesTheReader() {
    return window().windowTitle().contains(Path() + QStringLiteral("  FW V1."));
  }
  void ChangeStoredPort(const std::function<void(quillmate::PortSettings &)> &change) {
    quillmate::OperatorSettings stored = settings_->LoadOperatorSettings();
    change(stored.port);
    ASSERT_TRUE(settings_->SaveOperatorSettings(stored));
  }
};

TEST_F(ReaderStateTest, WithoutAReaderAWriteSaysSoAndTheIndicatorAndTitleAgree) {
  DropLinkForGood();
  OpenWindow(quillmate::Language::kGerman, /*expect_reader=*/false);
  EXPECT_EQ(window().CurrentReaderState(), ReaderState::kNone);
  EXPECT_TRUE(window().windowTitle().endsWith(QStringLiteral(" <>")));
  EXPECT_EQ(Indicator(), QStringLiteral("Kein Leser verbunden!"));

  Type(form().data, QStringLiteral("5"));
  form().write_single->click();
  EXPECT_EQ(window().StatusLines(), QStringList{quillmate::NoReaderText()});
  // A cycle that could never find a card is not started.
  form().write_cycle->click();
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
  EXPECT_EQ(window().StatusLines(), QStringList{quillmate::NoReaderText()});
}

TEST_F(ReaderStateTest, TheTitleAndTheIndicatorFollowTheReaderAwayAndBack) {
  OpenWindow();
  const QString path = Path();
  EXPECT_TRUE(TitleNamesTheReader()) << window().windowTitle().toStdString();
  EXPECT_EQ(Indicator(), QStringLiteral("Leser verbunden"));
  EXPECT_TRUE(form().reader_state->toolTip().contains(path));

  server_.DropLink();  // the adapter is pulled while the window waits for work
  ASSERT_TRUE(WaitFor([&] { return window().CurrentReaderState() == ReaderState::kLost; }));
  ASSERT_TRUE(WaitFor([&] { return window().windowTitle().endsWith(QStringLiteral(" <>")); }));
  EXPECT_EQ(Indicator(), QStringLiteral("Verbindung zum Leser unterbrochen!"));
  EXPECT_EQ(form().reader_state->toolTip(), path);
  ASSERT_TRUE(WaitFor([&] { return !window().StatusLines().filter(path).isEmpty(); }));

  // The reader comes back on the same name: a new simulator on the pseudo-terminal number the
  // lost one had (the kernel gives out the lowest free number).
  ASSERT_TRUE(WaitFor([&] { return window().PortHandle() == 0; }));
  server_.Stop();  // the lost simulator lets go of its number
  // Each simulator that got another number is kept until the end, so that the next one gets the
  // number after it.
  std::list<kovra_sim::SimReader> readers;
  std::list<kovra_sim::PtyServer> servers;
  bool same_name = false;
  for (int i = 0; i < 20 && !same_name; ++i) {
    kovra_sim::SimReader &reader = readers.emplace_back();
    reader.PlaceCard(std::make_shared<kovra_sim::DesfireCard>(kUid));
    kovra_sim::PtyServer &server = servers.emplace_back(reader);
    if (!server.Start()) break;
    same_name = QString::fromStdString(server.Path()) == path;
  }
  if (!same_name)
    GTEST_SKIP() << "another process took the pseudo-terminal number " << path.toStdString();
  ASSERT_TRUE(WaitFor([&] { return window().CurrentReaderState() == ReaderState::kConnected; }));
  ASSERT_TRUE(WaitFor([&] { return !window().windowTitle().endsWith(QStringLiteral(" <>")); }));
  EXPECT_EQ(Indicator(), QStringLiteral("Leser verbunden"));
  EXPECT_TRUE(
      window().StatusLines().contains(QStringLiteral("Der Leser an %1 ist wieder da.").arg(path)));
}

TEST_F(ReaderStateTest, CancellingThePortDialogLeavesTheReaderAsItWas) {
  OpenWindow();
  Type(form().data, QStringLiteral("10"));
  const struct {
    const char *name;
    QStringList tried;  // ports taken in the dialog before it is cancelled
  } cases[] = {{"cancelled at once", {}},
               {"a port that does not open, then cancelled", {QStringLiteral("/dev/nonexistent")}}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    QStringList to_try = c.tried;
    window().SetPortChooser([&](QWidget *, quillmate::PortSettings &port) {
      if (to_try.isEmpty()) return false;
      port.name = to_try.takeFirst();
      return true;
    });
    boxes.clear();
    window().MenuAction(QStringLiteral("Schnittstelle wählen"))->trigger();
    EXPECT_GT(window().PortHandle(), 0);
    EXPECT_TRUE(TitleNamesTheReader()) << window().windowTitle().toStdString();
    EXPECT_EQ(boxes.size(), c.tried.size()) << boxes.join('\n').toStdString();
    // The reopened reader writes the series' next value.
    const QString next = form().data->text();
    form().write_single->click();
    EXPECT_TRUE(window().StatusLines().contains(
        QStringLiteral("Wert <%1> erfolgreich geschrieben").arg(next)))
        << window().StatusLines().join('\n').toStdString();
  }
}

// A reader that does not open: the first sentence names the real cause, not another program.
// (One window per test: a window that closes answers its own boxes and drops the test's hook.)
TEST_F(ReaderStateTest, APortWhereNoReaderAnswersSaysSoFirst) {
  ChangeStoredPort([](quillmate::PortSettings &port) { port.timeout_ms = 300; });
  reader_.SetSilent(true);
  OpenWindow(quillmate::Language::kGerman, /*expect_reader=*/false);
  EXPECT_EQ(window().PortHandle(), 0);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].startsWith(
      QStringLiteral("An diesem Port ist kein Leser angeschlossen.\nBitte wählen Sie eine andere "
                     "Schnittstelle.\n\n")))
      << boxes[0].toStdString();
  EXPECT_FALSE(boxes[0].contains(QStringLiteral("anderen Programm"))) << boxes[0].toStdString();
}

TEST_F(ReaderStateTest, AReaderWithoutTheCommandSetIsNamedWithoutShouting) {
  reader_.SetVersion("12a4");  // device type 12A: without the command set
  OpenWindow(quillmate::Language::kGerman, /*expect_reader=*/false);
  EXPECT_EQ(window().PortHandle(), 0);
  EXPECT_EQ(boxes, QStringList{QStringLiteral(
                       "Das gewählte Gerät <12A> hat nicht die benötigte Funktionalität!")});
}

TEST_F(ReaderStateTest, EscapeOrCloseDuringACycleAsksBeforeTheWindowCloses) {
  OpenWindow();
  Type(form().data, QStringLiteral("1"));
  answers = {BoxAnswer::kYes};  // the job's warnings
  form().write_cycle->click();
  ASSERT_EQ(window().Operations().RunningCycle(), Cycle::kWrite);
  const QString question =
      QStringLiteral("Ein Zyklus läuft. Zyklus beenden und Quillmate schliessen?");

  boxes.clear();
  answers = {BoxAnswer::kNo};
  QTest::keyClick(&window(), Qt::Key_Escape);
  EXPECT_EQ(boxes, QStringList{question});
  EXPECT_TRUE(window().isVisible());
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kWrite);
  // The cycle goes on after No: the card on the reader is written.
  ASSERT_TRUE(WaitFor([&] { return window().Operations().Counts().cards_done == 1; }));

  answers = {BoxAnswer::kNo};
  window().close();  // the window manager's close button
  EXPECT_TRUE(window().isVisible());
  EXPECT_EQ(boxes.size(), 2);

  answers = {BoxAnswer::kYes};
  QTest::keyClick(&window(), Qt::Key_Escape);
  EXPECT_FALSE(window().isVisible());
  EXPECT_EQ(window().Operations().RunningCycle(), Cycle::kNone);
  EXPECT_EQ(window().PortHandle(), 0);
}

}  // namespace
}  // namespace quillmate_test
