// The PC/SC link's parts that need no daemon: the client library missing or incomplete, calls
// bounded while the wait handler goes on, and a port that hands its commands to such a link.
#include "transport/pcsc/pcsc_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
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

namespace kovra {
namespace {

// Stand-ins for the client library's functions: one reader with a DESFire card, a connect that
// can be held, and a transmit whose failure a test chooses.
struct FakeClient {
  std::mutex mutex;
  std::vector<pcsc::CardHandle> disconnected;
  std::vector<std::vector<uint8_t>> sent;
  pcsc::CardHandle last_card = 0;
  pcsc::Long transmit_result = pcsc::kSuccess;
  std::shared_future<void> connect_gate;  // valid: connect waits for it
};
FakeClient *fake = nullptr;

pcsc::Long FakeEstablish(pcsc::Dword, const void *, const void *, pcsc::Context *context) {
  *context = 7;
  return pcsc::kSuccess;
}
pcsc::Long FakeRelease(pcsc::Context) {
  return pcsc::kSuccess;
}
pcsc::Long FakeList(pcsc::Context, const char *, char *, pcsc::Dword *) {
  return pcsc::kErrNoReadersAvailable;
}
pcsc::Long FakeStatusChange(pcsc::Context, pcsc::Dword, pcsc::ReaderState *states, pcsc::Dword) {
  states[0].event_state = pcsc::kStatePresent;
  return pcsc::kSuccess;
}
pcsc::Long FakeConnect(pcsc::Context, const char *, pcsc::Dword, pcsc::Dword,
                       pcsc::CardHandle *card, pcsc::Dword *protocol) {
  std::shared_future<void> gate;
  {
    std::lock_guard<std::mutex> lock(fake->mutex);
    gate = fake->connect_gate;
  }
  if (gate.valid()) gate.wait();
  std::lock_guard<std::mutex> lock(fake->mutex);
  *card = ++fake->last_card;
  *protocol = pcsc::kProtocolT1;
  return pcsc::kSuccess;
}
pcsc::Long FakeDisconnect(pcsc::CardHandle card, pcsc::Dword) {
  std::lock_guard<std::mutex> lock(fake->mutex);
  fake->disconnected.push_back(card);
  return pcsc::kSuccess;
}
pcsc::Long FakeStatus(pcsc::CardHandle, char *, pcsc::Dword *, pcsc::Dword *, pcsc::Dword *,
                      unsigned char *atr, pcsc::Dword *atr_length) {
  const uint8_t desfire[] = {0x3B, 0x81, 0x80, 0x01, 0x80, 0x80};
  std::copy(std::begin(desfire), std::end(desfire), atr);
  *atr_length = sizeof desfire;
  return pcsc::kSuccess;
}
pcsc::Long FakeTransmit(pcsc::CardHandle, const pcsc::IoRequest *, const unsigned char *send,
                        pcsc::Dword send_length, pcsc::IoRequest *, unsigned char *receive,
                        pcsc::Dword *receive_length) {
  std::lock_guard<std::mutex> lock(fake->mutex);
  fake->sent.emplace_back(send, send + send_length);
  if (fake->transmit_result != pcsc::kSuccess) return fake->transmit_result;
  const std::vector<uint8_t> answer =
      send[0] == 0xFF ? std::vector<uint8_t>{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x90, 0x00}
                      : std::vector<uint8_t>{0x91, 0x00};
  std::copy(answer.begin(), answer.end(), receive);
  *receive_length = static_cast<pcsc::Dword>(answer.size());
  return pcsc::kSuccess;
}

class PcscFakeClient : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = &client_;
    api_.establish_context = FakeEstablish;
    api_.release_context = FakeRelease;
    api_.list_readers = FakeList;
    api_.get_status_change = FakeStatusChange;
    api_.connect = FakeConnect;
    api_.disconnect = FakeDisconnect;
    api_.transmit = FakeTransmit;
    api_.status = FakeStatus;
    ASSERT_TRUE(api_.UseGivenFunctions());
  }
  void TearDown() override { fake = nullptr; }

  int Run(CPcscLink &link, uint8_t code, std::vector<uint8_t> data, std::vector<uint8_t> &reply) {
    return link.RunCommand(code, data.data(), data.size(), reply, CommandWait{});
  }

  FakeClient client_;
  PcscApi api_;
};

TEST_F(PcscFakeClient, TheCardIsActivatedAndDesfireFramesGoWrapped) {
  CPcscLink link(api_);
  ASSERT_TRUE(link.Open("Desk Reader 00 00"));
  std::vector<uint8_t> reply;
  EXPECT_EQ(Run(link, 0x30, {}, reply), KOVRA_ERR_NONE);
  EXPECT_EQ(reply, (std::vector<uint8_t>{0x00, 0x00}));
  EXPECT_EQ(Run(link, 0x31, {}, reply), KOVRA_ERR_NONE);
  EXPECT_EQ(reply, (std::vector<uint8_t>{0x20, 0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
  EXPECT_EQ(Run(link, 0x41, {}, reply), KOVRA_ERR_NONE);
  EXPECT_EQ(reply, (std::vector<uint8_t>{0x03, 0x00, 0x80}));
  EXPECT_EQ(Run(link, 0x45, {0x5A, 0x01, 0x02, 0x03}, reply), KOVRA_ERR_NONE);
  EXPECT_EQ(reply, std::vector<uint8_t>{0x00});
  EXPECT_EQ(client_.sent.back(),
            (std::vector<uint8_t>{0x90, 0x5A, 0x00, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00}));
  // The field off resets and leaves the card; commands for a card then find none.
  EXPECT_EQ(Run(link, 0xF5, {0x00}, reply), KOVRA_ERR_NONE);
  EXPECT_EQ(client_.disconnected, std::vector<pcsc::CardHandle>{1});
  EXPECT_EQ(Run(link, 0x45, {0x60}, reply), KOVRA_ERR_NO_TRANSPONDER);
  EXPECT_EQ(Run(link, 0xF8, {}, reply), 24);  // a reader command PC/SC has no counterpart for
}

// What a failed exchange says, and whether the link stays up.
TEST_F(PcscFakeClient, AFailedExchangeIsTheCardGoneOrTheLinkLost) {
  const struct {
    pcsc::Long result;
    int error;
    bool link_up;
  } cases[] = {
      {pcsc::kWarnRemovedCard, KOVRA_ERR_NO_TRANSPONDER, true},
      {pcsc::kErrNotTransacted, KOVRA_ERR_NO_TRANSPONDER, true},
      {pcsc::kErrNoSmartcard, KOVRA_ERR_NO_TRANSPONDER, true},
      {pcsc::kErrNoService, KOVRA_ERR_TIMEOUT, false},
      {pcsc::kErrServiceStopped, KOVRA_ERR_TIMEOUT, false},
      {pcsc::kFailCommError, KOVRA_ERR_TIMEOUT, false},
      {pcsc::kErrReaderUnavailable, KOVRA_ERR_TIMEOUT, false},
  };
  for (const auto &c : cases) {
    CPcscLink link(api_);
    ASSERT_TRUE(link.Open("Desk Reader 00 00"));
    std::vector<uint8_t> reply;
    ASSERT_EQ(Run(link, 0x30, {}, reply), KOVRA_ERR_NONE);
    client_.transmit_result = c.result;
    EXPECT_EQ(Run(link, 0x45, {0x60}, reply), c.error) << std::hex << c.result;
    EXPECT_EQ(link.LinkUp(), c.link_up) << std::hex << c.result;
    EXPECT_TRUE(link.IsOpen());  // the handle stays until the port is closed
    if (!c.link_up) {
      const size_t calls = client_.sent.size();
      EXPECT_EQ(Run(link, 0xF0, {}, reply), KOVRA_ERR_TIMEOUT);  // at once, nothing sent
      EXPECT_EQ(client_.sent.size(), calls);
    }
    client_.transmit_result = pcsc::kSuccess;
  }
}

// A connect that hangs past its bound fails the request; the card it connects afterwards is left
// before the next activation, so no handle holds a card unseen.
TEST_F(PcscFakeClient, AConnectAbandonedAtItsBoundLeavesItsCardOnceItEnds) {
  CPcscLink link(api_);
  ASSERT_TRUE(link.Open("Desk Reader 00 00"));
  std::promise<void> release;
  client_.connect_gate = release.get_future().share();
  std::vector<uint8_t> reply;
  const auto start = Clock::now();
  EXPECT_EQ(Run(link, 0x30, {}, reply), KOVRA_ERR_TIMEOUT);
  EXPECT_LT(Clock::now() - start, CPcscLink::kMinCallMs + milliseconds(1000));
  {
    std::lock_guard<std::mutex> lock(client_.mutex);
    client_.connect_gate = {};
  }
  release.set_value();
  EXPECT_EQ(Run(link, 0x30, {}, reply), KOVRA_ERR_NONE);
  std::lock_guard<std::mutex> lock(client_.mutex);
  EXPECT_EQ(client_.disconnected, std::vector<pcsc::CardHandle>{1});  // the abandoned one
  EXPECT_EQ(client_.last_card, 2);
}

}  // namespace
}  // namespace kovra
