// The card operations against the simulated reader: single write and read, the write cycle with a
// card that stays and cards laid down one after another, the read cycle, the value kept in the
// value store before a card is written (and put back after a failed write), the tick that is not
// re-entered, and the tone that stays silent without a sound device.
#include "writer/run/operations.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>

#include "sim_rig.h"
#include "writer/cards/card_calls.h"
#include "writer/job/data_codec.h"
#include "writer/run/series_summary.h"

namespace {

using quillmate::CardOperations;
using quillmate::Cycle;
using quillmate::Lamp;
using quillmate_test::SimRig;
using quillmate_test::ToQt;

constexpr int kAid = 0x010203;
constexpr int kFree = 1;  // access list index of "Freier Zugriff"

// Records every value stored in it (the last one is the stored value; `initial` before any);
// `on_store` runs inside the call (a test looks at the card there), `fail` makes it refuse.
class RecordingStore : public quillmate::ValueStore {
 public:
  QString Stored() const { return values.isEmpty() ? initial : values.last(); }
  QString initial;
  QStringList values;
  std::function<void()> on_store;
  bool fail = false;

 protected:
  bool LockedUpdate(const Change &change) override {
    const std::optional<QString> replaced = change(Stored());
    if (!replaced) return true;
    values.append(*replaced);
    if (on_store) on_store();
    SetFailure(fail ? QStringLiteral("/voll/store.ini: No space left on device") : QString());
    return !fail;
  }
};

class RecordingBeeper : public quillmate::Beeper {
 public:
  void Beep(int duration_ms) override { beeps.push_back(duration_ms); }
  std::vector<int> beeps;
};

// The background mode the library passes to its wait handler, seen during the last wait.
std::atomic<int> g_background_mode{-1};
void RecordBackgroundMode(int, int, int background_mode, void *) {
  g_background_mode = background_mode;
}

class Operations : public SimRig {
 protected:
  void SetUp() override {
    SimRig::SetUp();
    job_.data = QStringLiteral("1");
    job_.length = 8;
    job_.app_id = kAid;
    job_.file_id = 2;
    job_.card_key.clear();
    job_.key_count = 0;
    job_.read_key_nr = kFree;
    job_.write_key_nr = kFree;
    job_.read_write_key_nr = 0;
    store_.initial = job_.data;
    store_.SetSeen(job_.data);
    ops_ = std::make_unique<CardOperations>(context_, job_, &store_, &beeper_);
  }
  void TearDown() override {
    ops_.reset();
    SimRig::TearDown();
  }

  // The value on a card, decoded as the job reads it; empty when the card has no such file.
  QString ValueOn(const kovra_sim::DesfireCard &card) const {
    const kovra_sim::DesfireApplication *app = card.Application(kAid);
    if (app == nullptr || app->files.empty()) return {};
    return quillmate::DecodeData(job_, ToQt(app->files.front().data));
  }
  int SuccessLines() const {
    return static_cast<int>(
        front_end_.lines.filter(QStringLiteral("erfolgreich geschrieben")).size());
  }

  quillmate::DesfireSet job_;
  RecordingStore store_;
  RecordingBeeper beeper_;
  std::unique_ptr<CardOperations> ops_;
};

TEST_F(Operations, SingleWriteCountsUpThenSingleReadShowsTheWrittenValue) {
  // The series' value as a script may have set it: normalised to 41 before it is logged and
  // reported.
  store_.initial = QStringLiteral("0041");
  store_.SetSeen(store_.initial);
  const quillmate::RunResult written = ops_->SingleWrite();
  ASSERT_TRUE(written.check.ok);
  ASSERT_TRUE(written.done) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(ValueOn(card()), QStringLiteral("41"));
  EXPECT_EQ(job_.data, QStringLiteral("42"));
  EXPECT_EQ(front_end_.shown.last(), QStringLiteral("42"));
  EXPECT_EQ(store_.values, QStringList{QStringLiteral("42")});
  EXPECT_EQ(front_end_.lamps, (std::vector<Lamp>{Lamp::kYellow, Lamp::kGreen}));
  EXPECT_EQ(beeper_.beeps, std::vector<int>{quillmate::kDefaultBeepTimeMs});
  EXPECT_TRUE(front_end_.Contains(QStringLiteral("Wert <41> erfolgreich geschrieben")));
  EXPECT_EQ(context_.cards.last_uid, ToQt(kUid));

  const quillmate::RunResult read = ops_->SingleRead();
  ASSERT_TRUE(read.done) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(job_.data, QStringLiteral("41"));
  EXPECT_TRUE(front_end_.Contains(QStringLiteral("Erfolgreich gelesen")));
  EXPECT_EQ(store_.values.size(), 1) << "a read stores nothing";

  // Without a card both report the empty field; the read empties the data text.
  Place(nullptr);
  EXPECT_FALSE(ops_->SingleWrite().done);
  EXPECT_FALSE(ops_->SingleRead().done);
  EXPECT_TRUE(job_.data.isEmpty());
  EXPECT_TRUE(front_end_.Contains(QStringLiteral("Kein gültiger Transponder vorhanden!")));
}

TEST_F(Operations, RefusedJobTouchesNothing) {
  store_.initial.clear();  // a series without a value
  store_.SetSeen(QString());
  const quillmate::RunResult result = ops_->SingleWrite();
  EXPECT_FALSE(result.check.ok);
  EXPECT_FALSE(result.done);
  EXPECT_FALSE(ops_->StartWriteCycle().ok);
  EXPECT_EQ(ops_->RunningCycle(), Cycle::kNone);
  EXPECT_TRUE(store_.values.isEmpty());
  EXPECT_EQ(card().Application(kAid), nullptr);
}

TEST_F(Operations, WriteCycleWritesEachCardOnceWithTheNextValue) {
  QTemporaryDir dir;
  const QString log = dir.filePath(QStringLiteral("write.txt"));
  ops_->SetLogSettings({true, log, false, {}});
  KOVRA_SetWaitHandler(RecordBackgroundMode, nullptr);

  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  EXPECT_EQ(ops_->RunningCycle(), Cycle::kWrite);
  EXPECT_EQ(ops_->RunningPeriodMs(), quillmate::kDefaultCyclePeriodMs);
  EXPECT_EQ(front_end_.lamps, std::vector<Lamp>{Lamp::kWaiting}) << "a cycle starts waiting";
  ops_->Tick();
  EXPECT_EQ(g_background_mode, 1) << "cycle waits run in background mode";
  // The card stays: further ticks only see it still answering.
  for (int i = 0; i < 3; ++i) {
    now_ms += 250;
    ops_->Tick();
  }
  EXPECT_EQ(SuccessLines(), 1);
  EXPECT_EQ(front_end_.lamps.back(), Lamp::kGreen);

  const kovra_sim::Bytes uid_b = {0x04, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
  const kovra_sim::Bytes uid_c = {0x04, 0xC0, 0xC1, 0xC2};
  auto card_b = FreshDesfire(uid_b);
  auto card_c = FreshDesfire(uid_c);
  for (const auto &next : {card_b, card_c}) {
    Place(next);
    now_ms += 250;
    ops_->Tick();
    now_ms += 250;
    ops_->Tick();  // the same card: not written again
  }
  EXPECT_EQ(ValueOn(card()), QStringLiteral("1"));
  EXPECT_EQ(ValueOn(*card_b), QStringLiteral("2"));
  EXPECT_EQ(ValueOn(*card_c), QStringLiteral("3"));
  EXPECT_EQ(SuccessLines(), 3);
  EXPECT_EQ(store_.values,
            (QStringList{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")}));
  EXPECT_EQ(job_.data, QStringLiteral("4"));

  QFile file(log);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("     1\t")));
  EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\t1")));
  EXPECT_TRUE(lines[1].contains(QStringLiteral("\tB5B4B3B2B1B004\t")));
  EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\t2")));
  EXPECT_TRUE(lines[2].contains(QStringLiteral("\tC2C1C004\t")));
  EXPECT_TRUE(lines[2].endsWith(QStringLiteral("\t3")));

  // The card taken away: the lamps go off, the cycle waits for the next card.
  Place(nullptr);
  now_ms += 250;
  ops_->Tick();
  EXPECT_EQ(front_end_.lamps.back(), Lamp::kWaiting);
  EXPECT_EQ(quillmate::SeriesSummary(ops_->Counts(), quillmate::SummaryWording::kScripts),
            QStringLiteral("3 cards done, 0 failed attempts, 0 values skipped"));

  ops_->StopCycle();
  EXPECT_EQ(ops_->RunningCycle(), Cycle::kNone);
  ops_->Tick();  // no cycle: nothing
  Place(card_c);
  EXPECT_TRUE(ops_->SingleRead().done);
  EXPECT_EQ(g_background_mode, 0) << "background mode off after the cycle";
  KOVRA_SetWaitHandler(nullptr, nullptr);
}

TEST_F(Operations, ReadCycleKeepsTheValueWhileTheCardStays) {
  ASSERT_TRUE(ops_->SingleWrite().done);
  front_end_.lamps.clear();
  ASSERT_TRUE(ops_->StartReadCycle().ok);
  EXPECT_TRUE(job_.data.isEmpty()) << "the read cycle starts with an empty data text";
  ops_->Tick();
  EXPECT_EQ(job_.data, QStringLiteral("1"));
  now_ms += 250;
  ops_->Tick();
  EXPECT_EQ(job_.data, QStringLiteral("1"));
  EXPECT_EQ(front_end_.lines.count(QStringLiteral("Erfolgreich gelesen")), 1);
  EXPECT_EQ(front_end_.lines.count(QStringLiteral("Wert <1> gelesen")), 1);
  EXPECT_EQ(front_end_.lamps, (std::vector<Lamp>{Lamp::kWaiting, Lamp::kYellow, Lamp::kGreen}));
  Place(nullptr);
  now_ms += 250;
  ops_->Tick();
  EXPECT_TRUE(job_.data.isEmpty());
  EXPECT_EQ(front_end_.lamps.back(), Lamp::kWaiting);
  EXPECT_EQ(ops_->Counts().cards_done, 1) << "the single write before is not the cycle's";
  ops_->StopCycle();
}

TEST_F(Operations, NextValueIsStoredBeforeTheCardIsWritten) {
  QStringList on_card_at_store;
  store_.on_store = [&] { on_card_at_store.append(ValueOn(card())); };
  ASSERT_TRUE(ops_->SingleWrite().done);
  ASSERT_TRUE(ops_->SingleWrite().done);
  EXPECT_EQ(store_.values, (QStringList{QStringLiteral("2"), QStringLiteral("3")}));
  // When "2" was stored the card had nothing yet; when "3" was, it still held "1".
  EXPECT_EQ(on_card_at_store, (QStringList{QString(), QStringLiteral("1")}));
  EXPECT_EQ(ValueOn(card()), QStringLiteral("2"));
}

// Another process sharing the store has counted on: this card takes the stored value, never the
// one this process had, and the job follows the store.
TEST_F(Operations, AValueReservedByAnotherProcessIsNotWrittenAgain) {
  store_.initial = QStringLiteral("7");  // the other process wrote 1 to 6
  ASSERT_TRUE(ops_->SingleWrite().done);
  EXPECT_EQ(ValueOn(card()), QStringLiteral("7"));
  EXPECT_EQ(store_.values, QStringList{QStringLiteral("8")});
  EXPECT_EQ(job_.data, QStringLiteral("8"));
  EXPECT_EQ(ops_->LastCardValue(), QStringLiteral("7"));
  EXPECT_TRUE(front_end_.Contains(
      QStringLiteral("Ein anderes Programm hat die Serie weitergezählt, weiter mit <7>!")));
}

// A counting series that outgrows its file ends with a line that says so; the card that would
// have got the cut value stays untouched.
TEST_F(Operations, ASeriesThatOutgrowsTheFileEnds) {
  job_.length = 2;
  job_.data = QStringLiteral("99");
  store_.initial = job_.data;
  store_.SetSeen(job_.data);
  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  ops_->Tick();
  ASSERT_EQ(SuccessLines(), 1) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(ValueOn(card()), QStringLiteral("99"));

  auto next_card = FreshDesfire({0x04, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5});
  Place(next_card);
  now_ms += 250;
  ops_->Tick();
  EXPECT_TRUE(front_end_.Contains(
      QStringLiteral("Der Wert <100> passt nicht in die Datei mit 2 Bytes! Die Serie endet.")));
  EXPECT_EQ(ops_->RunningCycle(), Cycle::kNone);
  EXPECT_TRUE(ops_->SeriesOutgrewTheFile());
  EXPECT_EQ(next_card->Application(kAid), nullptr);
  EXPECT_EQ(SuccessLines(), 1);
}

// The data text only shows values; a write takes the series' next value. A value read from a card
// (or a text cut by a front end's field) shown in it is never written again.
TEST_F(Operations, AWriteGivesOutTheSeriesValueNeverTheShownOne) {
  ASSERT_TRUE(ops_->SingleWrite().done);
  ASSERT_TRUE(ops_->SingleRead().done);
  EXPECT_EQ(job_.data, QStringLiteral("1")) << "the value read is shown";

  auto second = FreshDesfire({0x04, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5});
  Place(second);
  ASSERT_TRUE(ops_->SingleWrite().done) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(ValueOn(*second), QStringLiteral("2"));

  // A read, then a write cycle: the cycle starts from the series' value too.
  ASSERT_TRUE(ops_->SingleRead().done);
  EXPECT_EQ(job_.data, QStringLiteral("2"));
  auto third = FreshDesfire({0x04, 0xC0, 0xC1, 0xC2});
  Place(third);
  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  EXPECT_EQ(job_.data, QStringLiteral("3")) << "the cycle shows the value it will write";
  ops_->Tick();
  ops_->StopCycle();
  EXPECT_EQ(ValueOn(*third), QStringLiteral("3"));
  EXPECT_EQ(store_.values,
            (QStringList{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")}));
}

// After a series ended on a value that does not fit, a text cut from it ("10" of "100") is not a
// value to go on with: the next write ends the series again and no card is touched.
TEST_F(Operations, NoWriteGoesOnFromACutValue) {
  job_.length = 2;
  ASSERT_TRUE(ops_->SetSeriesValue(QStringLiteral("100")));
  job_.data = QStringLiteral("10");  // what a field of two characters shows
  EXPECT_FALSE(ops_->SingleWrite().done);
  EXPECT_EQ(card().Application(kAid), nullptr);
  EXPECT_EQ(store_.Stored(), QStringLiteral("100"));
  EXPECT_EQ(job_.data, QStringLiteral("100"));
}

// The operator changed the job's number format or representation: the series keeps its number,
// written the new way, in the store too.
TEST_F(Operations, AFormatChangeKeepsTheSeriesNumber) {
  job_.length = 16;
  job_.leading_zeros = true;
  ASSERT_TRUE(ops_->SetSeriesValue(QStringLiteral("5000")));
  quillmate::DesfireSet before = job_;
  job_.representation = quillmate::Representation::kBinary;
  ASSERT_TRUE(ops_->FollowFormatChange(before));
  before = job_;
  job_.representation = quillmate::Representation::kAscii;
  ASSERT_TRUE(ops_->FollowFormatChange(before));
  EXPECT_EQ(job_.data, QStringLiteral("0000000000005000"));
  before = job_;
  job_.number_format = quillmate::NumberFormat::kHexadecimal;
  ASSERT_TRUE(ops_->FollowFormatChange(before));
  EXPECT_EQ(store_.Stored(), QStringLiteral("0000000000001388"));
  ASSERT_TRUE(ops_->SingleWrite().done);
  EXPECT_EQ(ValueOn(card()), QStringLiteral("0000000000001388"));
}

// A card whose log line cannot be written holds its value but has no record: no success, the
// cycle ends at once with the red lamp and a line naming the file, and the value is not given
// again (it is on the card).
TEST_F(Operations, ACardWithoutItsLogLineEndsTheCycle) {
  QTemporaryDir dir;
  const QString log = dir.filePath(QStringLiteral("gone/write.txt"));
  ops_->SetLogSettings({true, log, false, {}});
  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  ops_->Tick();
  EXPECT_EQ(ValueOn(card()), QStringLiteral("1"));
  EXPECT_EQ(ops_->RunningCycle(), Cycle::kNone);
  EXPECT_EQ(front_end_.lamps.back(), Lamp::kRed);
  EXPECT_TRUE(ops_->LogFailure().contains(log)) << ops_->LogFailure().toStdString();
  EXPECT_TRUE(front_end_.Contains(
      QStringLiteral("Der Wert <1> ist auf der Karte <%1>, aber nicht protokolliert!")
          .arg(QString::fromLatin1(ToQt(kUid).toHex().toUpper()))));
  EXPECT_EQ(SuccessLines(), 0);
  EXPECT_EQ(ops_->Counts().cards_done, 0);
  EXPECT_EQ(store_.values, QStringList{QStringLiteral("2")});
  EXPECT_EQ(job_.data, QStringLiteral("2"));

  // A single write fails the same way; the next cycle starts with a clean slate.
  Place(FreshDesfire({0x04, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5}));
  EXPECT_FALSE(ops_->SingleWrite().done);
  EXPECT_FALSE(ops_->LogFailure().isEmpty());
  ops_->SetLogSettings({});
  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  EXPECT_TRUE(ops_->LogFailure().isEmpty());
  ops_->StopCycle();
}

// A card, or whatever answers in its place, that confirms a data write with a bare status 00 and
// keeps nothing: without the MAC an authenticated session owes, and so without proof.
class ForgetfulCard : public kovra_sim::DesfireCard {
 public:
  using DesfireCard::DesfireCard;
  kovra_sim::Bytes Exchange(const kovra_sim::Bytes &frame) override {
    if (!frame.empty() && frame[0] == kWriteDataCommand) return {0x00};
    return DesfireCard::Exchange(frame);
  }
  static constexpr uint8_t kWriteDataCommand = 0x3D;
};

// Verify after write reads the file back: a card that does not hold the value is a failed card,
// and its value, whose fate is unknown, is not given out again. A card that holds it is written.
TEST_F(Operations, VerifyAfterWriteCatchesACardThatKeptNothing) {
  ops_->SetVerifyAfterWrite(true);
  ASSERT_TRUE(ops_->SingleWrite().done) << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(ValueOn(card()), QStringLiteral("1"));

  Place(
      std::make_shared<ForgetfulCard>(kovra_sim::Bytes{0x04, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5}));
  EXPECT_FALSE(ops_->SingleWrite().done);
  EXPECT_TRUE(front_end_.Contains(
      QStringLiteral("Die Prüfung nach dem Schreiben findet den Wert <2> nicht auf der Karte!")));
  EXPECT_EQ(store_.values, (QStringList{QStringLiteral("2"), QStringLiteral("3")}));
  EXPECT_EQ(job_.data, QStringLiteral("3"));
  EXPECT_EQ(ops_->Counts().values_skipped, 1);
  EXPECT_EQ(front_end_.lamps.back(), Lamp::kRed);
}

// A card that keeps the tail of its file whatever is written there (as a card would that took
// only the job's bytes): verifying the whole file finds it.
class StickyTailCard : public kovra_sim::DesfireCard {
 public:
  using DesfireCard::DesfireCard;
  kovra_sim::Bytes Exchange(const kovra_sim::Bytes &frame) override {
    kovra_sim::Bytes answer = DesfireCard::Exchange(frame);
    kovra_sim::DesfireApplication *app = EditContent().Application(kAid);
    if (app != nullptr && !app->files.empty() && app->files.front().data.size() > kKept) {
      kovra_sim::Bytes &data = app->files.front().data;
      std::fill(data.begin() + kKept, data.end(), uint8_t{'7'});
    }
    return answer;
  }
  static constexpr size_t kKept = 8;
};

TEST_F(Operations, VerifyAfterWriteComparesTheWholeFile) {
  auto card = std::make_shared<StickyTailCard>(kUid);
  Place(card);
  job_.length = 16;
  ASSERT_TRUE(ops_->SingleWrite().done) << front_end_.lines.join('\n').toStdString();

  job_.length = 8;
  ops_->SetVerifyAfterWrite(true);
  EXPECT_FALSE(ops_->SingleWrite().done);
  EXPECT_TRUE(front_end_.Contains(
      QStringLiteral("Die Prüfung nach dem Schreiben findet den Wert <2> nicht auf der Karte!")))
      << front_end_.lines.join('\n').toStdString();
  EXPECT_EQ(ops_->Counts().values_skipped, 1);
}

// A card that already holds a value of the series (laid again on purpose, or met by a process
// started after the one that wrote it) is written again, and the status line names the value it
// held. A file of zeros or of bytes that are no value of the series names nothing.
TEST_F(Operations, ACardThatHeldAValueOfTheSeriesIsNamedWithIt) {
  struct Case {
    const char *name;
    QString series;   // the series' value for the first write
    QByteArray held;  // the file's bytes before the second write; empty: as the first left it
    bool named;
  };
  const Case cases[] = {
      {"a value of the series", QStringLiteral("1"), {}, true},
      {"text around the number", QStringLiteral("ABC-99"), {}, true},
      {"a fresh file", QStringLiteral("1"), QByteArray(8, '\0'), false},
      {"no value of the series", QStringLiteral("1"), QByteArray("AB\x01\x02xyz!", 8), false},
      {"another series' form", QStringLiteral("1"), QByteArray("XY-00042", 8), false},
  };
  job_.prefix_allowed = true;  // a series with text around its number
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    store_.values.clear();
    store_.initial = c.series;
    store_.SetSeen(c.series);
    card().EditContent() = {};
    front_end_ = {};
    ASSERT_TRUE(ops_->SingleWrite().done) << front_end_.lines.join('\n').toStdString();
    const QString held = ValueOn(card());
    EXPECT_EQ(held, c.series);
    if (!c.held.isEmpty()) {
      card().EditContent().Application(kAid)->files.front().data =
          kovra_sim::Bytes(c.held.begin(), c.held.end());
    }
    front_end_.lines.clear();
    ASSERT_TRUE(ops_->SingleWrite().done) << front_end_.lines.join('\n').toStdString();
    const QString named = QStringLiteral("Die Karte <%1> trug schon den Wert <%2> dieser Serie!")
                              .arg(quillmate::CardUidText(ToQt(kUid)), held);
    EXPECT_EQ(front_end_.Contains(named), c.named) << front_end_.lines.join('\n').toStdString();
    EXPECT_EQ(front_end_.lines.filter(QStringLiteral("dieser Serie")).size(), c.named ? 1 : 0)
        << front_end_.lines.join('\n').toStdString();
    EXPECT_EQ(SuccessLines(), 1);
  }
}

TEST_F(Operations, FailedWritePutsTheValueBack) {
  // A card master key the job does not know: the write fails at the card level.
  job_.card_key = QStringLiteral("00112233445566778899AABBCCDDEEFF");
  card().EditContent().master_key = {kovra_sim::DesfireKeyType::kAes, kovra_sim::Bytes(16, 0x5A),
                                     0};
  EXPECT_FALSE(ops_->SingleWrite().done);
  EXPECT_TRUE(front_end_.Contains(
      QStringLiteral("Authentifizierung nicht möglich! Gewählter Card Master Key nicht gültig")));
  EXPECT_EQ(store_.values, (QStringList{QStringLiteral("2"), QStringLiteral("1")}));
  EXPECT_EQ(job_.data, QStringLiteral("1"));
  EXPECT_EQ(front_end_.lamps, (std::vector<Lamp>{Lamp::kYellow, Lamp::kRed}));
  EXPECT_TRUE(beeper_.beeps.empty());
  EXPECT_TRUE(context_.cards.last_uid.isEmpty());
}

// A card that takes a write but whose answer is lost on the way back (reader at the edge of the
// field, a broken line): the host cannot know that the data are on the card.
class AnswerLostCard : public kovra_sim::DesfireCard {
 public:
  using DesfireCard::DesfireCard;
  kovra_sim::Bytes Exchange(const kovra_sim::Bytes &frame) override {
    kovra_sim::Bytes answer = DesfireCard::Exchange(frame);
    if (!frame.empty() && frame[0] == kWriteDataCommand && lose_answers) return {};
    return answer;
  }
  static constexpr uint8_t kWriteDataCommand = 0x3D;
  std::atomic<bool> lose_answers{true};  // set by the test, read by the simulator's pty thread
};

// The value a card may hold is never given to another card: the series skips it.
TEST_F(Operations, AWriteWhoseAnswerIsLostDoesNotPutTheValueBack) {
  auto card = std::make_shared<AnswerLostCard>(kUid);
  Place(card);
  EXPECT_FALSE(ops_->SingleWrite().done);
  EXPECT_EQ(ValueOn(*card), QStringLiteral("1"));  // the card took it
  EXPECT_EQ(store_.values, QStringList{QStringLiteral("2")});
  EXPECT_EQ(job_.data, QStringLiteral("2"));
  EXPECT_TRUE(front_end_.HasTag(QStringLiteral(" <Write>")));

  card->lose_answers = false;
  ASSERT_TRUE(ops_->SingleWrite().done);
  EXPECT_EQ(ValueOn(*card), QStringLiteral("2"));
  EXPECT_EQ(store_.values, (QStringList{QStringLiteral("2"), QStringLiteral("3")}));
}

// A write whose answer is lost, and then another card on the reader before the first is back:
// the first card's value ends as skipped at once, the card laid keeps what it held, and the cycle
// goes on with the series' next value on a new card (never on the card it finished last). The
// operator's, or a script's, retries are not asked for.
TEST_F(Operations, ACardLaidAfterALostWriteAnswerNeverGetsThePendingValue) {
  struct Case {
    const char *name;
    bool finished_card;  // the card laid is the one the cycle has just finished
  };
  for (const Case &c : {Case{"a new card", false}, Case{"the card finished before", true}}) {
    SCOPED_TRACE(c.name);
    Place(card_);
    front_end_ = {};
    store_.values.clear();
    store_.initial = QStringLiteral("1");
    store_.SetSeen(store_.initial);
    job_.data = store_.initial;
    context_.cards = {};
    card().EditContent() = {};  // factory fresh again

    ASSERT_TRUE(ops_->StartWriteCycle().ok);
    ops_->Tick();
    ASSERT_EQ(ValueOn(card()), QStringLiteral("1"));

    auto lost = std::make_shared<AnswerLostCard>(
        kovra_sim::Bytes{0x04, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6});
    auto other = c.finished_card ? card_ : FreshDesfire({0x04, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6});
    Place(lost);
    // The first card leaves with its answer, and the other is laid.
    front_end_.on_line = [&](const QString &line) {
      if (line.endsWith(QLatin1String(" <Write>"))) Place(other);
    };
    front_end_.answers = {quillmate::FrontEnd::Answer::kRetry, quillmate::FrontEnd::Answer::kRetry};
    now_ms += 250;
    ops_->Tick();
    front_end_.on_line = nullptr;
    EXPECT_TRUE(front_end_.questions.isEmpty()) << front_end_.questions.join('\n').toStdString();
    EXPECT_EQ(ValueOn(*lost), QStringLiteral("2"));  // the card took it
    EXPECT_TRUE(front_end_.Contains(QStringLiteral(
        "Der Wert <2> ist vielleicht auf der Karte und wird nicht noch einmal vergeben, weiter "
        "mit <3>!")))
        << front_end_.lines.join('\n').toStdString();

    for (int i = 0; i < 3; ++i) {
      now_ms += 250;
      ops_->Tick();
    }
    ops_->StopCycle();
    if (c.finished_card) {
      EXPECT_EQ(ValueOn(card()), QStringLiteral("1"));
      EXPECT_EQ(quillmate::SeriesSummary(ops_->Counts(), quillmate::SummaryWording::kScripts),
                QStringLiteral("1 cards done, 1 failed attempts, 1 values skipped"));
    } else {
      EXPECT_EQ(ValueOn(*other), QStringLiteral("3"));
      EXPECT_EQ(quillmate::SeriesSummary(ops_->Counts(), quillmate::SummaryWording::kScripts),
                QStringLiteral("2 cards done, 1 failed attempts, 1 values skipped"));
    }
  }
}

class OperationsWithWriteKey : public Operations,
                               public ::testing::WithParamInterface<quillmate::FileMode> {};

// Such a write is no success: no success line, no log line, the red lamp; and as its outcome is
// unknown, its value is not given to the next card.
TEST_P(OperationsWithWriteKey, AWriteConfirmedWithoutItsMacIsNoSuccessAndNotLogged) {
  job_.file_mode = GetParam();
  job_.key_count = 2;
  job_.app_key = QStringLiteral("B0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF");
  job_.write_key_nr = 3;  // key 1
  job_.write_key = QStringLiteral("C0C1C2C3C4C5C6C7C8C9CACBCCCDCECF");
  QTemporaryDir dir;
  const QString log = dir.filePath(QStringLiteral("write.txt"));
  ops_->SetLogSettings({true, log, false, {}});
  auto card = std::make_shared<ForgetfulCard>(kUid);
  Place(card);

  EXPECT_FALSE(ops_->SingleWrite().done);
  EXPECT_EQ(SuccessLines(), 0) << front_end_.lines.join('\n').toStdString();
  EXPECT_TRUE(front_end_.HasTag(QStringLiteral(" <Write>")));
  EXPECT_EQ(front_end_.lamps.back(), Lamp::kRed);
  QFile file(log);
  EXPECT_TRUE(!file.exists() || file.size() == 0) << "no value logged";
  const kovra_sim::DesfireApplication *app = card->Application(kAid);
  ASSERT_NE(app, nullptr);
  ASSERT_EQ(app->files.size(), 1u);
  EXPECT_EQ(app->files.front().data, kovra_sim::Bytes(8, 0x00)) << "the card kept nothing";
  EXPECT_EQ(store_.values, QStringList{QStringLiteral("2")});
  EXPECT_EQ(job_.data, QStringLiteral("2"));
  EXPECT_EQ(ops_->Counts().values_skipped, 1);
}

INSTANTIATE_TEST_SUITE_P(AuthenticatedModes, OperationsWithWriteKey,
                         ::testing::Values(quillmate::FileMode::kPlainWithMac,
                                           quillmate::FileMode::kEnciphered));

TEST_F(Operations, StoreThatCannotSaveStopsTheWrite) {
  store_.fail = true;
  EXPECT_FALSE(ops_->SingleWrite().done);
  EXPECT_EQ(card().Application(kAid), nullptr) << "the card was not written";
  EXPECT_EQ(store_.values, QStringList{QStringLiteral("2")}) << "nothing to put back";
  EXPECT_EQ(job_.data, QStringLiteral("1"));
  EXPECT_EQ(front_end_.lamps.back(), Lamp::kRed);
  EXPECT_TRUE(front_end_.Contains(QStringLiteral(
      "Der nächste Wert <2> konnte nicht gespeichert werden, die Karte wird nicht beschrieben!")));
}

// A store that cannot take the next value does not mend itself between ticks: the cycle ends at
// the first card, naming the store's file and the system's reason, with no card written.
TEST_F(Operations, AStoreThatCannotSaveEndsTheCycleNamingTheFileAndReason) {
  store_.fail = true;
  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  ops_->Tick();
  EXPECT_EQ(ops_->RunningCycle(), Cycle::kNone);
  EXPECT_EQ(card().Application(kAid), nullptr) << "the card was not written";
  const QString failure = QStringLiteral("/voll/store.ini: No space left on device");
  EXPECT_EQ(ops_->StoreFailure(), failure);
  EXPECT_TRUE(front_end_.Contains(failure)) << front_end_.lines.join('\n').toStdString();
  // A new cycle starts with a clean slate.
  store_.fail = false;
  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  EXPECT_TRUE(ops_->StoreFailure().isEmpty());
  ops_->StopCycle();
}

// Runs a tick from inside every status line, as a front end's event loop may during a question.
TEST_F(Operations, TickIsNotReenteredFromInsideATick) {
  size_t nested_commands = 0;
  bool in_tick_seen = false;
  front_end_.on_line = [&](const QString &) {
    const size_t before = reader_.ReceivedCommands().size();
    in_tick_seen = in_tick_seen || ops_->InTick();
    ops_->Tick();
    nested_commands += reader_.ReceivedCommands().size() - before;
  };
  ASSERT_TRUE(ops_->StartWriteCycle().ok);
  ops_->Tick();
  EXPECT_TRUE(in_tick_seen);
  EXPECT_EQ(nested_commands, 0u);
  EXPECT_EQ(front_end_.lines.filter(QStringLiteral("erfolgreich geschrieben")).size(), 1);
  EXPECT_EQ(store_.values, QStringList{QStringLiteral("2")});
  EXPECT_FALSE(ops_->InTick());
  ops_->StopCycle();
}

TEST(SeriesSummary, TheOperatorsAndTheScriptsWordingGiveTheSameNumbers) {
  const quillmate::SeriesCounts counts{12, 3, 1};
  struct Case {
    quillmate::SummaryWording wording;
    const char *line;
  };
  for (const Case &c : {Case{quillmate::SummaryWording::kOperator,
                             "12 Karten fertig, 3 Fehlversuche, 1 Werte übersprungen"},
                        Case{quillmate::SummaryWording::kScripts,
                             "12 cards done, 3 failed attempts, 1 values skipped"}}) {
    EXPECT_EQ(quillmate::SeriesSummary(counts, c.wording), QString::fromUtf8(c.line));
  }
}

TEST(CycleSettings, RangesOfCyclePeriodAndBeepTime) {
  quillmate::WriterContext context;
  quillmate::DesfireSet job;
  CardOperations ops(context, job, nullptr, nullptr);
  EXPECT_EQ(ops.CyclePeriodMs(), 250);
  EXPECT_EQ(ops.BeepTimeMs(), 300);
  EXPECT_FALSE(ops.SetCyclePeriodMs(99));
  EXPECT_TRUE(ops.SetCyclePeriodMs(100));
  EXPECT_TRUE(ops.SetCyclePeriodMs(10000));
  EXPECT_FALSE(ops.SetCyclePeriodMs(10001));
  EXPECT_EQ(ops.CyclePeriodMs(), 10000);
  EXPECT_FALSE(ops.SetBeepTimeMs(-1));
  EXPECT_TRUE(ops.SetBeepTimeMs(0));
  EXPECT_TRUE(ops.SetBeepTimeMs(1000));
  EXPECT_FALSE(ops.SetBeepTimeMs(1001));
  EXPECT_EQ(ops.BeepTimeMs(), 1000);
}

TEST(AlsaBeeper, SilentAndQuickWithoutASoundDevice) {
  testing::internal::CaptureStderr();
  {
    quillmate::AlsaBeeper beeper("quillmate_no_such_device");
    EXPECT_FALSE(beeper.PlayNow(50));
    EXPECT_FALSE(beeper.PlayNow(0));
    const auto start = std::chrono::steady_clock::now();
    beeper.Beep(1000);
    beeper.Beep(1000);  // dropped or played after the first: never blocks
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
