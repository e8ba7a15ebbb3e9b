// A real CKOVRA_Port against the in-process simulated reader: the transceive step, the wait for a
// complete reply, the timeout rule and the wait handler.
#include "reader/port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "hex.h"
#include "kovra.h"
#include "reader/wait.h"
#include "sim/reader.h"
#include "support/sim_transport.h"

namespace kovra {
namespace {

using kovra_sim::Reply;
using kovra_sim::SimReader;
using kovra_test::Hex;
using kovra_test::MakeSimPort;
using kovra_test::SimPortOptions;
using kovra_test::SimTransport;
using kovra_test::ToHex;
using std::chrono::milliseconds;

constexpr uint8_t kVersion = 0xF0;
constexpr uint8_t kExchange = 0x45;

SimReader MakeReader(int family) {
  kovra_sim::SimReaderConfig config;
  config.family = family;
  config.version = "1A3B";
  return SimReader(config);
}

struct DeliveryCase {
  int family;
  SimTransport::Delivery delivery;
  size_t piece_size;  // 0: the reply in one piece
  const char *garbage;
};

// Replies that arrive in pieces, behind noise, pushed by a receive thread or polled, all end up
// as the reader's answer.
TEST(PortTransceive, AssemblesRepliesHoweverTheyArrive) {
  const DeliveryCase cases[] = {
      {0, SimTransport::Delivery::kPushed, 0, ""},
      {0, SimTransport::Delivery::kPushed, 1, "FF 00 1E"},
      {1, SimTransport::Delivery::kPushed, 2, ""},
      {2, SimTransport::Delivery::kPolled, 1, "02 55"},
      {3, SimTransport::Delivery::kPolled, 3, "00"},
      {3, SimTransport::Delivery::kPushed, 1, "1F"},
  };
  for (const auto &c : cases) {
    SimReader reader = MakeReader(c.family);
    reader.SetSplit(c.piece_size, milliseconds(1));
    reader.SetLeadingGarbage(Hex(c.garbage));
    SimPortOptions options;
    options.delivery = c.delivery;
    auto port = MakeSimPort(reader, c.family, options);

    CMyByteArray reply;
    const uint8_t data[] = {0x0A, 0x5A};
    reader.SetFixedReply(kExchange, Reply::Ok(Hex("11 22 33")));
    ASSERT_TRUE(port->Command(kExchange, data, sizeof data, reply)) << "family " << c.family;
    EXPECT_EQ(ToHex(reply.Bytes()), "11 22 33") << "family " << c.family;
    EXPECT_EQ(port->LastError(), 0);
  }
}

TEST(PortTransceive, BlockChainReplyGivesTheChainWithoutItsEnd) {
  for (int family = 0; family < 4; ++family) {
    SimReader reader = MakeReader(family);
    reader.SetSplit(2, milliseconds(0));
    reader.SetFixedReply(kVersion, Reply::BlockChain({Hex("AA BB"), Hex("CC")}));
    auto port = MakeSimPort(reader, family);
    CMyByteArray reply;
    ASSERT_TRUE(port->Command(kVersion, nullptr, 0, reply)) << family;
    EXPECT_EQ(ToHex(reply.Bytes()), "02 AA BB 01 CC") << family;
  }
}

TEST(PortTransceive, GarbageBeforeAFamily1ReplyIsAChecksumError) {
  SimReader reader = MakeReader(1);
  reader.SetLeadingGarbage(Hex("55"));
  auto port = MakeSimPort(reader, 1);
  CMyByteArray reply;
  EXPECT_FALSE(port->Command(kVersion, nullptr, 0, reply));
  EXPECT_EQ(port->LastError(), 10);
}

TEST(PortTransceive, MoreDataStatusSucceedsAndLeaves32) {
  SimReader reader = MakeReader(0);
  reader.ScriptExchangeInParts({Hex("01 02"), Hex("03")});
  auto port = MakeSimPort(reader, 0);
  CMyByteArray reply;
  const uint8_t block[] = {0x60};
  ASSERT_TRUE(port->Command(kExchange, block, 1, reply));
  EXPECT_EQ(ToHex(reply.Bytes()), "01 02");
  EXPECT_EQ(port->LastError(), 32);
  ASSERT_TRUE(port->Command(0x46, nullptr, 0, reply));  // the next step resets it
  EXPECT_EQ(port->LastError(), 0);
}

TEST(PortTransceive, NothingToSendAndOversizedCommands) {
  SimReader reader = MakeReader(0);
  auto port = MakeSimPort(reader, 0);
  EXPECT_FALSE(port->Transceive());  // empty send buffer
  EXPECT_EQ(port->LastError(), 8);
  CMyByteArray reply;
  const std::vector<uint8_t> too_long(256, 0x00);
  EXPECT_FALSE(port->Command(kExchange, too_long.data(), too_long.size(), reply));
  EXPECT_EQ(port->LastError(), 7);
  EXPECT_EQ(reader.CommandCount(), 0u);
}

// A silent reader times out after the timeout and no sooner.
TEST(PortTimeout, SilentReaderTimesOutWithError4) {
  SimReader reader = MakeReader(0);
  reader.SetSilent(true);
  SimPortOptions options;
  options.timeout_ms = 40;
  auto port = MakeSimPort(reader, 0, options);
  CMyByteArray reply;
  const auto start = Clock::now();
  EXPECT_FALSE(port->Command(kVersion, nullptr, 0, reply));
  EXPECT_GE(Clock::now() - start, milliseconds(40));
  EXPECT_EQ(port->LastError(), 4);
}

// A reply that comes too late is a timeout; its bytes are thrown away by the next command, which
// gets its own reply.
TEST(PortTimeout, LateReplyIsDiscardedByTheNextCommand) {
  SimReader reader = MakeReader(0);
  SimPortOptions options;
  options.timeout_ms = 20;
  auto port = MakeSimPort(reader, 0, options);
  reader.SetReplyDelay(milliseconds(60));
  reader.PushReply(kVersion, Reply::Ok(Hex("0D 0D")));
  CMyByteArray reply;
  EXPECT_FALSE(port->Command(kVersion, nullptr, 0, reply));
  EXPECT_EQ(port->LastError(), 4);
  ASSERT_TRUE(reader.WaitUntilDelivered(std::chrono::seconds(2)));
  EXPECT_FALSE(port->ReceivedBytes().IsEmpty());  // the late bytes wait in the buffer

  reader.SetReplyDelay(milliseconds(0));
  ASSERT_TRUE(port->Command(kVersion, nullptr, 0, reply));
  EXPECT_EQ(ToHex(reply.Bytes()), "31 41 33 42");  // "1A3B", not the late "0D 0D"
}

// The header restarts the clock: a frame whose rest comes later than T after the start of the
// wait, but within T of its header, is complete.
TEST(PortTimeout, HeaderRestartsTheTimer) {
  SimReader reader = MakeReader(2);
  SimPortOptions options;
  options.timeout_ms = 120;
  auto port = MakeSimPort(reader, 2, options);
  reader.SetFixedReply(kVersion, Reply::Ok(Hex("AA BB CC")));
  reader.SetReplyDelay(milliseconds(70));
  reader.SetSplit(3, milliseconds(90));  // header at 70 ms, the 3 data bytes at 160 ms
  CMyByteArray reply;
  ASSERT_TRUE(port->Command(kVersion, nullptr, 0, reply)) << port->LastError();
}

// A block chain that never ends (the reader keeps sending blocks) still ends in a timeout.
TEST(PortTimeout, EndlessBlockChainTimesOut) {
  SimReader reader = MakeReader(3);
  std::vector<uint8_t> endless = Hex("1E 60 FF");
  for (int i = 0; i < 400; ++i) endless.push_back(0x00);
  reader.PushRawReply(endless);
  reader.SetSplit(1, milliseconds(1));
  SimPortOptions options;
  options.timeout_ms = 30;
  auto port = MakeSimPort(reader, 3, options);
  CMyByteArray reply;
  EXPECT_FALSE(port->Command(kVersion, nullptr, 0, reply));
  EXPECT_EQ(port->LastError(), 4);
}

struct HandlerLog {
  std::vector<int> events;
  std::vector<Clock::time_point> times;
  int background = -1;
  int handle = 0;
};

void RecordWait(int event, int handle, int background_mode, void *context) {
  auto *log = static_cast<HandlerLog *>(context);
  log->events.push_back(event);
  log->times.push_back(Clock::now());
  log->background = background_mode;
  log->handle = handle;
}

TEST(PortWaitHandler, CalledAtBeginEveryTenMillisecondsAndEnd) {
  SimReader reader = MakeReader(0);
  reader.SetReplyDelay(milliseconds(80));
  auto port = MakeSimPort(reader, 0);
  port->SetBackgroundMode(true);
  HandlerLog log;
  KOVRA_SetWaitHandler(RecordWait, &log);
  CMyByteArray reply;
  const bool ok = port->Command(kVersion, nullptr, 0, reply);
  KOVRA_SetWaitHandler(nullptr, nullptr);

  ASSERT_TRUE(ok);
  ASSERT_GE(log.events.size(), 3u);
  EXPECT_EQ(log.events.front(), KOVRA_WAIT_BEGIN);
  EXPECT_EQ(log.events.back(), KOVRA_WAIT_END);
  for (size_t i = 1; i + 1 < log.events.size(); ++i) EXPECT_EQ(log.events[i], KOVRA_WAIT_TICK);
  EXPECT_GE(log.events.size(), 2u + 80 / 10 - 2);  // ticks all through the 80 ms
  for (size_t i = 1; i < log.times.size(); ++i) {
    // At least every 10 ms; the slack is for a loaded machine, not for the design.
    EXPECT_LE(log.times[i] - log.times[i - 1], milliseconds(25));
  }
  EXPECT_EQ(log.background, 1);
  EXPECT_EQ(log.handle, port->Handle());
}

// Two threads that share one port get one exchange at a time: each gets its own reply, every
// time.
TEST(PortThreads, TwoThreadsOnOnePortEachGetTheirOwnReplies) {
  SimReader reader = MakeReader(0);
  reader.SetFixedReply(kExchange, Reply::Ok(Hex("AA BB")));
  reader.SetSplit(2, milliseconds(1));  // replies take a while, as on a real link
  auto port = MakeSimPort(reader, 0);
  std::atomic<int> wrong{0};
  const auto run = [&](uint8_t code, const char *expected) {
    for (int i = 0; i < 100; ++i) {
      CMyByteArray reply;
      if (!port->Command(code, nullptr, 0, reply) || ToHex(reply.Bytes()) != expected) ++wrong;
    }
  };
  std::thread version(run, kVersion, "31 41 33 42");
  std::thread exchange(run, kExchange, "AA BB");
  version.join();
  exchange.join();
  EXPECT_EQ(wrong.load(), 0);
}

// Whatever arrives while no command waits is kept only up to one reply frame; what arrives while
// one waits, up to the longest reply the port accepts. The rest is dropped and counted.
TEST(PortReceive, WhatThePortKeepsIsBounded) {
  SimReader reader = MakeReader(0);
  auto port = MakeSimPort(reader, 0);
  const std::vector<uint8_t> junk(100000, 0x00);
  port->OnBytesReceived(junk.data(), junk.size());
  EXPECT_EQ(port->ReceivedBytes().GetSize(), CKOVRA_Port::kMaxIdleBytes);
  EXPECT_EQ(port->DroppedBytes(), junk.size() - CKOVRA_Port::kMaxIdleBytes);
  CMyByteArray reply;
  ASSERT_TRUE(port->Command(kVersion, nullptr, 0, reply));  // the next command is not disturbed
  EXPECT_EQ(ToHex(reply.Bytes()), "31 41 33 42");
}

// A thread that finds the port busy with another thread's exchange waits for it with the wait
// handler called as during a reply wait; a command from the thread that already holds the port
// (sent from its own wait handler) goes ahead instead of waiting for itself.
TEST(PortThreads, WaitingForTheOtherExchangeCallsTheHandlerAndNestingDoesNotWaitForItself) {
  SimReader reader = MakeReader(0);
  auto port = MakeSimPort(reader, 0);
  std::promise<void> taken;
  std::thread holder([&] {
    const std::lock_guard<CommandGate> busy(port->CommandLock());
    taken.set_value();
    std::this_thread::sleep_for(milliseconds(80));
  });
  taken.get_future().wait();
  // The handler log is written by this thread only: the holder never calls it.
  HandlerLog log;
  KOVRA_SetWaitHandler(RecordWait, &log);
  CMyByteArray reply;
  const bool ok = port->Command(kVersion, nullptr, 0, reply);
  KOVRA_SetWaitHandler(nullptr, nullptr);
  holder.join();
  EXPECT_TRUE(ok);
  ASSERT_GE(log.events.size(), 2u + 80 / 10 - 2);
  EXPECT_EQ(log.events.front(), KOVRA_WAIT_BEGIN);

  const std::lock_guard<CommandGate> own(port->CommandLock());
  EXPECT_TRUE(port->Command(kVersion, nullptr, 0, reply));
  EXPECT_EQ(ToHex(reply.Bytes()), "31 41 33 42");
}

}  // namespace
}  // namespace kovra
