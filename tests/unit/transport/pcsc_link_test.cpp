// The PC/SC link's parts that need no daemon: the client library missing or incomplete, calls
// bounded while the wait handler goes on, and a port that hands its commands to such a link.
#include "transport/pcsc/pcsc_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "kovra.h"
#include "reader/handle_pool.h"
#include "reader/port.h"
#include "transport/link_failure.h"
#include "transport/pcsc/bounded_calls.h"
#include "transport/pcsc/pcsc_binding.h"

namespace kovra {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(PcscBinding, WithoutTheClientLibraryPcscIsMissingAndSaysWhy) {
  PcscApi absent;
  EXPECT_FALSE(absent.Load("/nonexistent/libpcsclite.so.1"));
  EXPECT_FALSE(absent.Available());
  EXPECT_NE(absent.Problem().find("cannot load /nonexistent/libpcsclite.so.1"), std::string::npos);
  EXPECT_EQ(absent.transmit, nullptr);

  PcscApi other;  // a library that is there but is not the PC/SC client
  EXPECT_FALSE(other.Load("libc.so.6"));
  EXPECT_NE(other.Problem().find("has no SCardEstablishContext"), std::string::npos);
  EXPECT_EQ(other.establish_context, nullptr);
}

TEST(PcscLink, WithoutTheClientLibraryTheOpenFailsAsNotSupported) {
  PcscApi absent;
  absent.Load("/nonexistent/libpcsclite.so.1");
  CPcscLink link(absent);
  SetLinkFailure(KOVRA_LINK_OK);
  EXPECT_FALSE(link.Open("Virtual PCD 00 00"));
  EXPECT_EQ(LinkFailure(), KOVRA_LINK_NOT_SUPPORTED);
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(link.LinkUp());
  // A link that is not open answers nothing, not even its version.
  std::vector<uint8_t> reply;
  EXPECT_EQ(link.RunCommand(0xF0, nullptr, 0, reply, CommandWait{}), KOVRA_ERR_TIMEOUT);
  EXPECT_TRUE(reply.empty());
}

TEST(PcscBoundedCalls, ACallThatHangsIsLeftAtItsBoundWithTheWaitHandlerCalled) {
  BoundedCalls calls;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::vector<Clock::time_point> ticks;
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(calls.Run([released] { released.wait(); }, milliseconds(100),
                         [&] { ticks.push_back(Clock::now()); }));
  const Clock::duration waited = Clock::now() - start;
  EXPECT_GE(waited, milliseconds(100));
  EXPECT_LT(waited, milliseconds(1000));  // the bound, with room for a loaded machine
  ASSERT_GE(ticks.size(), 5u);
  for (size_t i = 1; i < ticks.size(); ++i) EXPECT_LE(ticks[i] - ticks[i - 1], milliseconds(30));

  // The next call waits for the one still running, within its own bound.
  std::atomic<bool> ran{false};
  EXPECT_FALSE(calls.Run([&ran] { ran = true; }, milliseconds(30), {}));
  EXPECT_FALSE(ran.load());
  release.set_value();
  const std::optional<int> answer = calls.Call<int>([] { return 7; }, milliseconds(2000), {});
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, 7);
}

TEST(PcscBoundedCalls, DestroyingWhileACallHangsDoesNotWait) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> ended;
  std::future<void> call_ended = ended.get_future();
  const Clock::time_point start = Clock::now();
  {
    BoundedCalls calls;
    auto done = std::make_shared<std::promise<void>>(std::move(ended));
    calls.Run(
        [released, done] {
          released.wait();
          done->set_value();
        },
        milliseconds(20), {});
  }
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  release.set_value();  // the call ends on its own afterwards
  EXPECT_EQ(call_ended.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

// A link with commands of its own, recording what the port hands it.
class RecordingLink final : public Transport, public CommandLink {
 public:
  bool IsOpen() const override { return true; }
  void Write(const uint8_t *, size_t) override { ++writes; }
  void Close() override {}
  CommandLink *Commands() override { return this; }
  int RunCommand(uint8_t code, const uint8_t *data, size_t count, std::vector<uint8_t> &reply,
                 const CommandWait &wait) override {
    codes.push_back(code);
    payload.assign(data, data + count);
    timeout_ms = wait.timeout_ms;
    for (int i = 0; i < ticks_to_give && wait.tick; ++i) wait.tick();
    reply = answer;
    return error;
  }

  std::vector<uint8_t> codes;
  std::vector<uint8_t> payload;
  unsigned timeout_ms = 0;
  int ticks_to_give = 0;
  std::vector<uint8_t> answer;
  int error = KOVRA_ERR_NONE;
  int writes = 0;
};

struct Events {
  std::vector<int> seen;
};

void Record(int event, int, int, void *context) {
  static_cast<Events *>(context)->seen.push_back(event);
}

TEST(PcscPort, CommandsGoToTheLinkWithTheirTimeoutAndTheWaitHandler) {
  auto owned = std::make_unique<RecordingLink>();
  RecordingLink &link = *owned;
  CKOVRA_Port port;
  port.AttachTransport(std::move(owned), HandlePool::Pcsc());
  EXPECT_GT(port.Handle(), 30000);
  port.SetTimeout(250);
  link.answer = {0x00, 0x04, 0x01};
  link.ticks_to_give = 3;

  Events events;
  KOVRA_SetWaitHandler(Record, &events);
  CMyByteArray reply;
  const uint8_t frame[] = {0x60};
  const bool ok = port.Command(0x45, frame, sizeof frame, reply);
  KOVRA_SetWaitHandler(nullptr, nullptr);

  ASSERT_TRUE(ok);
  EXPECT_EQ(link.codes, std::vector<uint8_t>{0x45});
  EXPECT_EQ(link.payload, std::vector<uint8_t>{0x60});
  EXPECT_EQ(link.timeout_ms, 250u);
  EXPECT_EQ(link.writes, 0);  // nothing framed, nothing written
  EXPECT_EQ(reply.Bytes(), link.answer);
  EXPECT_EQ(events.seen, (std::vector<int>{KOVRA_WAIT_BEGIN, KOVRA_WAIT_TICK, KOVRA_WAIT_TICK,
                                           KOVRA_WAIT_TICK, KOVRA_WAIT_END}));

  // The link's failure is the port's last error, and no answer is handed on.
  link.error = KOVRA_ERR_NO_TRANSPONDER;
  EXPECT_FALSE(port.Command(0x30, nullptr, 0, reply));
  EXPECT_EQ(port.LastError(), KOVRA_ERR_NO_TRANSPONDER);
  EXPECT_TRUE(reply.IsEmpty());
  port.CloseTransport();
}

}  // namespace
}  // namespace kovra
