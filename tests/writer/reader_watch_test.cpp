// The watch on the reader of a cycle: a reader whose device went away is reported at once, naming
// the port; the port is opened again (at most every retry period) and the return is reported.
#include "writer/reader/reader_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim_rig.h"
#include "writer/cards/card_detection.h"

namespace {

using quillmate::PortSettings;
using quillmate::ReaderWatch;

class ReaderWatchTest : public quillmate_test::SimRig {
 protected:
  // The port's thread sees the hang-up of a dropped link on its own time; a tick comes later.
  static bool SeenGone(int handle) {
    for (int i = 0; i < 200 && KOVRA_IsLinkUp(handle) == 1; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return KOVRA_IsLinkUp(handle) == 0;
  }
};

TEST_F(ReaderWatchTest, ALostReaderIsReportedAndOpenedAgainWhenItIsBack) {
  // The reader the port name leads to once the first one is gone.
  kovra_sim::SimReader second_reader;
  kovra_sim::PtyServer second_server{second_reader};
  ASSERT_TRUE(second_server.Start());
  second_reader.PlaceCard(FreshDesfire(kUid));
  PortSettings port;
  port.name = QString::fromStdString(second_server.Path());
  port.baud_rate = 115200;
  ReaderWatch watch(port, 2000);

  EXPECT_TRUE(watch.Check(context_));
  EXPECT_TRUE(front_end_.lines.isEmpty());

  server_.DropLink();  // the adapter is pulled
  ASSERT_TRUE(SeenGone(context_.handle));
  const QString port_name = port.name;
  EXPECT_TRUE(watch.Check(context_)) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(watch.Losses(), 1);
  ASSERT_EQ(front_end_.lines.size(), 2);
  EXPECT_TRUE(front_end_.lines[0].startsWith(
      QStringLiteral("Die Verbindung zum Leser an %1 ist unterbrochen").arg(port_name)));
  EXPECT_EQ(front_end_.lines[1], QStringLiteral("Der Leser an %1 ist wieder da.").arg(port_name));
  EXPECT_NE(context_.handle, 0);
  EXPECT_EQ(KOVRA_IsLinkUp(context_.handle), 1);
  EXPECT_TRUE(quillmate::DetectCard(context_, false));
  handle_ = context_.handle;  // the fixture closes the port in use

  // Lost again with nothing to come back to: reported once, retried only after the period.
  second_server.DropLink();
  ASSERT_TRUE(SeenGone(context_.handle));
  EXPECT_FALSE(watch.Check(context_));
  EXPECT_TRUE(watch.Lost());
  EXPECT_EQ(context_.handle, 0);
  now_ms += 1000;
  EXPECT_FALSE(watch.Check(context_));
  EXPECT_EQ(front_end_.lines.size(), 3);
  handle_ = 0;
}

// A card operation without a usable reader says what is wrong with the reader, not that no card
// lies on it; a cycle's tick stays silent without a reader (its watch reports the loss).
TEST_F(ReaderWatchTest, DetectionWithoutAReaderNamesTheReaderNotTheCard) {
  const QString no_card = QStringLiteral("Kein gültiger Transponder vorhanden!");
  context_.handle = 0;
  EXPECT_FALSE(quillmate::DetectCard(context_, true));
  EXPECT_TRUE(front_end_.lines.isEmpty());
  EXPECT_FALSE(quillmate::DetectCard(context_, false));
  EXPECT_EQ(front_end_.lines, QStringList{quillmate::NoReaderText()});
  EXPECT_TRUE(front_end_.lines[0].contains(QStringLiteral("Schnittstelle wählen")));

  context_.handle = handle_;
  server_.DropLink();
  ASSERT_TRUE(SeenGone(handle_));
  front_end_.lines.clear();
  EXPECT_FALSE(quillmate::DetectCard(context_, false));
  EXPECT_EQ(front_end_.lines,
            QStringList{QStringLiteral("Die Verbindung zum Leser ist unterbrochen!")});
  EXPECT_FALSE(front_end_.Contains(no_card));
}

}  // namespace
