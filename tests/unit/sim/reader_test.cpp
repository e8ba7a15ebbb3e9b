// The simulated reader on its own: fed command frames, checked on the reply bytes it emits.
#include "sim/reader.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "unit/reader/hex.h"

namespace {

using kovra_sim::Bytes;
using kovra_sim::Reply;
using kovra_sim::ReplyStatus;
using kovra_sim::SimClock;
using kovra_sim::SimReader;
using kovra_sim::SimReaderConfig;
using kovra_test::Hex;
using kovra_test::ToHex;
using std::chrono::milliseconds;

// Collects what a reader emits, with the time each piece arrived. Declare it before the reader,
// so that it outlives the reader's delivery thread.
class Output {
 public:
  void Attach(SimReader &reader, std::function<void()> on_gone = {}) {
    reader.Connect(
        [this](const uint8_t *bytes, size_t count) {
          std::lock_guard<std::mutex> lock(mutex_);
          pieces_.emplace_back(bytes, bytes + count);
          times_.push_back(SimClock::now());
        },
        std::move(on_gone));
  }
  std::string Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    Bytes all;
    for (const Bytes &piece : pieces_) all.insert(all.end(), piece.begin(), piece.end());
    pieces_.clear();
    times_.clear();
    return ToHex(all);
  }
  std::vector<Bytes> Pieces() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pieces_;
  }
  std::vector<SimClock::time_point> Times() {
    std::lock_guard<std::mutex> lock(mutex_);
    return times_;
  }

 private:
  std::mutex mutex_;
  std::vector<Bytes> pieces_;
  std::vector<SimClock::time_point> times_;
};

SimReaderConfig Family(int family, uint8_t address = 1) {
  SimReaderConfig config;
  config.family = family;
  config.address = address;
  return config;
}

// Feeds one frame and returns what came back at once.
std::string Ask(SimReader &reader, Output &output, const char *frame) {
  reader.Receive(Hex(frame));
  return output.Take();
}

struct VersionCase {
  int family;
  const char *command;
  const char *reply;
};

TEST(SimReaderTest, AnswersTheVersionCommandInEachFamily) {
  const VersionCase cases[] = {
      {0, "02 01 F0 00 F1", "02 01 00 04 31 32 33 34 01"},
      {1, "01 F0 00 64 00", "01 00 04 31 32 33 34 40 14"},
      {2, "1E 0B 00", "1E 0B 04 04 05 31 35"},
      {2, "1E 0B 02 46 56", "1E 0B 04 31 32 33 34"},  // the follow-up with data "FV"
      {3, "1E 60 00", "1E 60 09 00 00 00 00 31 32 33 34 00"},
  };
  for (const VersionCase &c : cases) {
    Output output;
    SimReader reader(Family(c.family));
    output.Attach(reader);
    EXPECT_EQ(Ask(reader, output, c.command), c.reply) << c.command;
    EXPECT_EQ(reader.CommandCount(0xF0), 1u);
  }
}

struct CommandCase {
  int family;
  const char *frame;
  int code;  // the firmware command recorded; -1 for none
  const char *data;
  const char *reply;
};

TEST(SimReaderTest, MapsWireCodesToFirmwareCommandsAndAnswersInTheFamilysStatusSet) {
  const CommandCase cases[] = {
      {2, "1E 0C 00", 0xF5, "01", "1E 0C 00"},  // field on, the wire code echoed
      {3, "1E 0D 00", 0xF5, "00", "1E 0D 00"},
      {3, "1E 21 03 08 05 21", 0x20, "05 21", "1E A0 00"},  // parameter byte taken off
      {2, "1E 28 03 01 05 21", 0x20, "05 21", "1E A0 00"},
      {2, "1E 29 00", 0x21, "", "1E A0 00"},
      {2, "1E 07 02 00 00", 0xF6, "00 00", "1E 07 00"},
      {2, "1E 0F 01 02", 0xFF, "02", "1E 0F 00"},
      {2, "1E F0 00", -1, "", "1E A0 00"},  // family 2 never carries 0xF0 untranslated
      {3, "1E F8 00", 0xF8, "", "1E F8 04 12 34 56 78"},
      {2, "1E 0F 00", 0xFF, "", "1E A4 00"},  // wrong data length
      {0, "02 01 99 00 98", 0x99, "", "02 01 18 00 19"},
      {0, "02 01 45 01 60 25", 0x45, "60", "02 01 15 00 14"},  // no card on the reader
      {1, "01 F8 00 63 C0", 0xF8, "", "01 00 04 12 34 56 78 81 34"},
  };
  for (const CommandCase &c : cases) {
    Output output;
    SimReader reader(Family(c.family));
    output.Attach(reader);
    EXPECT_EQ(Ask(reader, output, c.frame), c.reply) << c.frame;
    const auto commands = reader.ReceivedCommands();
    ASSERT_EQ(commands.size(), 1u) << c.frame;
    EXPECT_EQ(ToHex(commands[0].frame), c.frame);
    EXPECT_EQ(commands[0].code ? *commands[0].code : -1, c.code) << c.frame;
    EXPECT_EQ(ToHex(commands[0].data), c.data) << c.frame;
  }
}

TEST(SimReaderTest, FieldCommandsChangeTheFirmwareState) {
  Output output;
  SimReader reader(Family(2));
  output.Attach(reader);
  Ask(reader, output, "1E 0C 00");
  EXPECT_TRUE(reader.FieldOn());
  Ask(reader, output, "1E 0D 00");
  EXPECT_FALSE(reader.FieldOn());
}

TEST(SimReaderTest, AnswersOnlyFramesForItsBusAddressAndNamesItInTheReply) {
  Output output;
  SimReader family0(Family(0, 5));
  output.Attach(family0);
  EXPECT_EQ(Ask(family0, output, "02 02 F0 00 F2"), "");
  EXPECT_EQ(family0.CommandCount(), 0u);
  ASSERT_EQ(family0.ReceivedCommands().size(), 1u);
  EXPECT_FALSE(family0.ReceivedCommands()[0].for_this_reader);
  EXPECT_EQ(Ask(family0, output, "02 05 F0 00 F5"), "02 05 00 04 31 32 33 34 05");

  Output output1;
  SimReader family1(Family(1, 1));
  output1.Attach(family1);
  EXPECT_EQ(Ask(family1, output1, "02 F0 00 94 00"), "");
  EXPECT_EQ(family1.CommandCount(), 0u);
  EXPECT_EQ(family1.DiscardedByteCount(), 5u);
}

TEST(SimReaderTest, ScriptsAreUsedInTheirOrderOfPrecedence) {
  Output output;
  SimReader reader(Family(0));
  output.Attach(reader);
  reader.SetFixedReply(0xF8, Reply::Raw(0x15));
  reader.PushReply(0xF8, Reply::Ok({0xAA}));
  reader.PushRawReply(Hex("02 01 00 05 AA"));  // truncated: the length runs past the data
  reader.PushRawReply({});                     // silence once

  const char *serial = "02 01 F8 00 F9";
  reader.SetSilent(true);
  EXPECT_EQ(Ask(reader, output, serial), "");  // silent: nothing used up
  reader.SetSilent(false);
  EXPECT_EQ(Ask(reader, output, serial), "02 01 00 05 AA");
  EXPECT_EQ(Ask(reader, output, serial), "");
  EXPECT_EQ(Ask(reader, output, serial), "02 01 00 01 AA AA");
  EXPECT_EQ(Ask(reader, output, serial), "02 01 15 00 14");
  EXPECT_EQ(Ask(reader, output, serial), "02 01 15 00 14");
  EXPECT_EQ(reader.CommandCount(0xF8), 6u);

  reader.ResetScript();
  EXPECT_EQ(Ask(reader, output, serial), "02 01 00 04 12 34 56 78 0D");  // the firmware again
}

TEST(SimReaderTest, LeadingGarbageGoesBeforeABlockChainReply) {
  Output output;
  SimReader reader(Family(0));
  output.Attach(reader);
  reader.SetLeadingGarbage(Hex("55 AA"));
  reader.SetFixedReply(0xF0, Reply::BlockChain({Hex("AA BB"), Hex("CC")}));
  EXPECT_EQ(Ask(reader, output, "02 01 F0 00 F1"), "55 AA 02 01 00 FF 02 AA BB 01 CC FF DF");
}

TEST(SimReaderTest, ExchangeInPartsAnnouncesMoreDataUntilTheLastPart) {
  Output output;
  SimReader reader(Family(0));
  output.Attach(reader);
  reader.ScriptExchangeInParts({Hex("AA BB"), Hex("CC")});
  EXPECT_EQ(Ask(reader, output, "02 01 45 01 60 25"), "02 01 20 02 AA BB 32");
  EXPECT_EQ(Ask(reader, output, "02 01 46 00 47"), "02 01 00 01 CC CC");
  EXPECT_EQ(Ask(reader, output, "02 01 46 00 47"), "02 01 15 00 14");  // nothing left: no card
}

TEST(SimReaderTest, DelayAndSplittingDeliverThePiecesInOrderAndOnTime) {
  Output output;
  SimReader reader(Family(1));
  output.Attach(reader);
  reader.SetReplyDelay(milliseconds(30));
  reader.SetSplit(4, milliseconds(5));

  const SimClock::time_point sent = SimClock::now();
  reader.Receive(Hex("01 F0 00 64 00"));
  EXPECT_TRUE(output.Pieces().empty());  // not answered from inside Receive
  ASSERT_TRUE(reader.WaitUntilDelivered(std::chrono::seconds(5)));

  const std::vector<Bytes> pieces = output.Pieces();
  const std::vector<SimClock::time_point> times = output.Times();
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].size(), 4u);
  EXPECT_EQ(pieces[1].size(), 4u);
  EXPECT_GE(times.front() - sent, milliseconds(30));
  EXPECT_GE(times.back() - times.front(), milliseconds(10));
  // The reply's end is taken when its last piece is handed over.
  ASSERT_TRUE(reader.LastReplyEnd().has_value());
  EXPECT_GE(*reader.LastReplyEnd(), times[1]);
  EXPECT_LE(*reader.LastReplyEnd(), times[2]);
  EXPECT_EQ(output.Take(), "01 00 04 31 32 33 34 40 14");
}

TEST(SimReaderTest, AReplyWithoutDelayWaitsForTheDelayedOneBeforeIt) {
  Output output;
  SimReader reader(Family(0));
  output.Attach(reader);
  reader.SetReplyDelay(milliseconds(30));
  reader.Receive(Hex("02 01 F0 00 F1"));
  reader.SetReplyDelay(milliseconds(0));
  reader.Receive(Hex("02 01 F8 00 F9"));
  ASSERT_TRUE(reader.WaitUntilDelivered(std::chrono::seconds(5)));
  EXPECT_EQ(output.Take(), "02 01 00 04 31 32 33 34 01 02 01 00 04 12 34 56 78 0D");
  EXPECT_EQ(reader.ReplyEndTimes().size(), 2u);
}

TEST(SimReaderTest, DestructionDropsPendingRepliesAndTellsTheHost) {
  Output output;
  int destroyed = 0;
  auto reader = std::make_unique<SimReader>(Family(0));
  output.Attach(*reader, [&] { ++destroyed; });
  reader->SetReplyDelay(std::chrono::seconds(10));
  reader->Receive(Hex("02 01 F0 00 F1"));

  const SimClock::time_point start = SimClock::now();
  reader.reset();
  EXPECT_LT(SimClock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(output.Pieces().empty());
}

struct ChecksumCase {
  int family;
  const char *command;
  const char *corrupted;  // the next reply
  const char *after;      // the one after it, whole again
};

TEST(SimReaderTest, TheChecksumFaultBreaksTheCheckOfTheNextReplyOnly) {
  const ChecksumCase cases[] = {
      {0, "02 01 F8 00 F9", "02 01 00 04 12 34 56 78 F2", "02 01 00 04 12 34 56 78 0D"},
      {1, "01 F8 00 63 C0", "01 00 04 12 34 56 78 81 CB", "01 00 04 12 34 56 78 81 34"},
      // No check in family 3: the reply goes out as it is and the fault is used up.
      {3, "1E F8 00", "1E F8 04 12 34 56 78", "1E F8 04 12 34 56 78"},
  };
  for (const ChecksumCase &c : cases) {
    Output output;
    SimReader reader(Family(c.family));
    output.Attach(reader);
    reader.CorruptNextChecksum();
    EXPECT_TRUE(reader.Faults().bad_checksum);
    EXPECT_EQ(Ask(reader, output, c.command), c.corrupted) << c.family;
    EXPECT_FALSE(reader.Faults().bad_checksum);
    EXPECT_EQ(Ask(reader, output, c.command), c.after) << c.family;
  }
}

TEST(SimReaderTest, DroppingTheLinkTellsTheHostAndANewConnectionPlugsInAgain) {
  Output output;
  int gone = 0;
  SimReader reader(Family(0));
  output.Attach(reader, [&] { ++gone; });
  reader.SetReplyDelay(std::chrono::seconds(10));
  reader.Receive(Hex("02 01 F0 00 F1"));  // a reply on its way is dropped with the link
  reader.DropLink();
  EXPECT_EQ(gone, 1);
  EXPECT_TRUE(reader.LinkDropped());
  EXPECT_TRUE(reader.WaitUntilDelivered(std::chrono::seconds(1)));
  reader.SetReplyDelay(milliseconds(0));
  EXPECT_EQ(Ask(reader, output, "02 01 F0 00 F1"), "");  // nobody listens

  Output again;
  again.Attach(reader);
  EXPECT_FALSE(reader.LinkDropped());
  EXPECT_EQ(Ask(reader, again, "02 01 F0 00 F1"), "02 01 00 04 31 32 33 34 01");
  EXPECT_EQ(gone, 1);
}

TEST(SimReaderTest, ClearingFaultsDisarmsThemAll) {
  Output output;
  SimReader reader(Family(0));
  output.Attach(reader);
  reader.SetSilent(true);
  reader.CorruptNextChecksum();
  reader.RemoveCardAfterExchanges(3);
  const kovra_sim::FaultState armed = reader.Faults();
  EXPECT_TRUE(armed.silent);
  EXPECT_TRUE(armed.bad_checksum);
  EXPECT_EQ(armed.remove_after, 3u);
  reader.ClearFaults();
  const kovra_sim::FaultState cleared = reader.Faults();
  EXPECT_FALSE(cleared.silent || cleared.bad_checksum || cleared.remove_after.has_value());
  EXPECT_EQ(Ask(reader, output, "02 01 F0 00 F1"), "02 01 00 04 31 32 33 34 01");
}

TEST(SimReaderTest, TheFrameLogSeesBothDirections) {
  Output output;
  SimReader reader(Family(0));
  output.Attach(reader);
  std::vector<std::string> lines;
  reader.SetFrameLog([&](bool from_host, const Bytes &bytes) {
    lines.push_back(std::string(from_host ? "rx " : "tx ") + ToHex(bytes));
  });
  reader.SetLeadingGarbage(Hex("55"));
  Ask(reader, output, "02 01 F0 00 F1");
  reader.SetFrameLog({});
  Ask(reader, output, "02 01 F0 00 F1");
  EXPECT_EQ(lines,
            (std::vector<std::string>{"rx 02 01 F0 00 F1", "tx 55 02 01 00 04 31 32 33 34 01"}));
}

TEST(SimReaderTest, TheLinkModelDelaysRepliesByTheirTimeOnTheLine) {
  Output output;
  SimReader reader(Family(0));
  output.Attach(reader);
  kovra_sim::LinkModel model;
  model.baud = 9600;
  model.per_exchange = milliseconds(40);
  reader.SetLinkModel(model);
  // 5 command bytes and 9 reply bytes: 140 bits at 9600 baud, 14.6 ms.
  EXPECT_EQ(kovra_sim::LinkDelay(model, std::nullopt, 5, 9, false),
            std::chrono::microseconds(14583));
  // Without a baud rate of its own the model takes the line's, else 19200.
  model.baud = 0;
  EXPECT_EQ(kovra_sim::LinkDelay(model, 1200u, 5, 9, false), std::chrono::microseconds(116666));
  EXPECT_EQ(kovra_sim::LinkDelay(model, std::nullopt, 5, 9, true),
            std::chrono::microseconds(7291) + milliseconds(40));

  const SimClock::time_point sent = SimClock::now();
  reader.Receive(Hex("02 01 F0 00 F1"));
  ASSERT_TRUE(reader.WaitUntilDelivered(std::chrono::seconds(5)));
  ASSERT_TRUE(reader.LastReplyEnd().has_value());
  EXPECT_GE(*reader.LastReplyEnd() - sent, std::chrono::microseconds(14583));

  reader.PlaceCard(kovra_sim::CardKind::kIso);
  reader.Receive(Hex("02 01 F5 01 01 F4"));
  reader.Receive(Hex("02 01 31 00 30"));
  reader.Receive(Hex("02 01 41 00 40"));
  ASSERT_TRUE(reader.WaitUntilDelivered(std::chrono::seconds(5)));
  const SimClock::time_point exchange = SimClock::now();
  reader.Receive(Hex("02 01 45 01 60 25"));
  ASSERT_TRUE(reader.WaitUntilDelivered(std::chrono::seconds(5)));
  EXPECT_GE(*reader.LastReplyEnd() - exchange, milliseconds(40));
  reader.SetLinkModel(std::nullopt);
}

}  // namespace
