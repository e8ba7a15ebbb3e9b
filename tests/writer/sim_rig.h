// A simulated reader with a card on a pseudo-terminal, opened through the public API, and the
// writer context around it with a recording front end (scripted answers) and a clock the test
// drives. Shared by the tests of the card sequences.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>

#include "kovra.h"
#include "sim/cards.h"
#include "sim/desfire/desfire_card.h"
#include "sim/pty_server.h"
#include "sim/reader.h"
#include "support/recording_front_end.h"
#include "writer/cards/writer_context.h"

namespace quillmate_test {

inline kovra_sim::Bytes UidBytes(std::initializer_list<uint8_t> bytes) {
  return kovra_sim::Bytes(bytes);
}
inline QByteArray ToQt(const kovra_sim::Bytes &bytes) {
  return QByteArray(reinterpret_cast<const char *>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
}

// The fixture: a reader of family 0 served on a pty, the port opened, a factory-fresh DESFire
// card in the field (card()), and a writer context whose clock is `now_ms` and whose sleeps do
// nothing. What reaches the front end is recorded in `front_end_`.
class SimRig : public ::testing::Test {
 protected:
  static inline const kovra_sim::Bytes kUid = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    card_ = std::make_shared<kovra_sim::DesfireCard>(kUid);
    reader_.PlaceCard(card_);
    handle_ = KOVRA_OpenPort(server_.Path().c_str(), 115200, 1000);
    ASSERT_GT(handle_, 0);
    context_.handle = handle_;
    context_.report.SetFrontEnd(&front_end_);
    context_.language = quillmate::Language::kGerman;
    context_.tick_ms = [this] { return now_ms; };
    context_.sleep_ms = [](int) {};
  }
  void TearDown() override {
    if (handle_ > 0) KOVRA_ClosePort(handle_);
  }

  kovra_sim::DesfireCard &card() { return *card_; }
  // Lays a card down in place of the one there (null: takes it away).
  void Place(std::shared_ptr<kovra_sim::Card> card) { reader_.PlaceCard(std::move(card)); }
  std::shared_ptr<kovra_sim::DesfireCard> FreshDesfire(const kovra_sim::Bytes &uid) {
    return std::make_shared<kovra_sim::DesfireCard>(uid);
  }

  kovra_sim::SimReader reader_;
  kovra_sim::PtyServer server_{reader_};
  std::shared_ptr<kovra_sim::DesfireCard> card_;
  int handle_ = 0;
  RecordingFrontEnd front_end_;
  quint64 now_ms = 100000;
  quillmate::WriterContext context_;
};

}  // namespace quillmate_test
