// The field's card as a virtual card of vsmartcard's virtual reader driver, against the driver's
// end of the connection played on loopback: it waits for the driver's port, answers its
// messages, and mirrors the field by its connection (a card that leaves goes, a new one comes,
// a mute card goes after its timeout, a broken stream ends the connection).
#include "sim/vpcd_card.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "sim/reader.h"
#include "unit/reader/hex.h"

namespace {

using kovra_sim::CardKind;
using kovra_test::Hex;
using kovra_test::ToHex;
using std::chrono::milliseconds;

// The driver's side: a listening socket on a loopback port of its own, one card at a time.
class DriverEnd {
 public:
  DriverEnd() {
    server_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(server_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(server_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(server_, reinterpret_cast<sockaddr *>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~DriverEnd() {
    if (card_ >= 0) ::close(card_);
    ::close(server_);
  }
  uint16_t Port() const { return port_; }
  // Until then the port is bound but refuses connections, as while no driver runs.
  void Listen() { ::listen(server_, 1); }

  bool Accept(milliseconds timeout) {
    pollfd wait{server_, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(timeout.count())) != 1) return false;
    if (card_ >= 0) ::close(card_);
    card_ = ::accept4(server_, nullptr, nullptr, SOCK_CLOEXEC);
    return card_ >= 0;
  }
  void Send(const std::string &hex) {
    const std::vector<uint8_t> bytes = Hex(hex);
    ASSERT_EQ(::send(card_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // The bytes that came within `timeout`, up to `count`; `ended` when the card's end closed.
  std::string Read(size_t count, milliseconds timeout, bool *ended = nullptr) {
    std::vector<uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
      const auto left =
          std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd wait{card_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) != 1) break;
      uint8_t buffer[512];
      const ssize_t n = ::recv(card_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        if (ended) *ended = true;
        break;
      }
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return ToHex(bytes);
  }
  // Waits up to `timeout` for the card to end the connection.
  bool Ended(milliseconds timeout) {
    bool ended = false;
    Read(1 << 20, timeout, &ended);
    return ended;
  }

 private:
  int server_ = -1;
  int card_ = -1;
  uint16_t port_ = 0;
};

constexpr milliseconds kSoon{2000};
constexpr const char *kAtrAnswer = "00 06 3B 81 80 01 80 80";

class VpcdCardTest : public ::testing::Test {
 protected:
  void Start(milliseconds mute_timeout = milliseconds(1000)) {
    kovra_sim::VpcdCardConfig config;
    config.port = driver_.Port();
    config.min_backoff = milliseconds(10);
    config.max_backoff = milliseconds(100);
    config.mute_timeout = mute_timeout;
    card_ = std::make_unique<kovra_sim::VpcdCard>(reader_, config);
    std::string error;
    ASSERT_TRUE(card_->Start(&error)) << error;
  }

  DriverEnd driver_;
  kovra_sim::SimReader reader_;
  std::unique_ptr<kovra_sim::VpcdCard> card_;
};

TEST_F(VpcdCardTest, WaitsForTheDriversPortAndAnswersItsMessages) {
  reader_.PlaceCard(CardKind::kDesfire, Hex("04 A1 B2 C3 D4 E5 F6"));
  Start();
  std::this_thread::sleep_for(milliseconds(300));  // several refused attempts
  driver_.Listen();
  ASSERT_TRUE(driver_.Accept(kSoon));
  driver_.Send("00 01 01 00 01 04");  // power on (no answer), ATR
  EXPECT_EQ(driver_.Read(8, kSoon), kAtrAnswer);
  driver_.Send("00 05 FF CA 00 00 00");
  EXPECT_EQ(driver_.Read(11, kSoon), "00 09 04 A1 B2 C3 D4 E5 F6 90 00");
  driver_.Send("00 05 90 6A 00 00 00");  // GetApplicationIDs
  EXPECT_EQ(driver_.Read(4, kSoon), "00 02 91 00");
  EXPECT_EQ(card_->Status().connections, 1u);
  EXPECT_EQ(card_->Status().apdus, 2u);
}

TEST_F(VpcdCardTest, ACardThatLeavesGoesAndANewCardComesAnew) {
  driver_.Listen();
  Start();
  EXPECT_FALSE(driver_.Accept(milliseconds(200)));  // an empty field: no card connects
  reader_.PlaceCard(CardKind::kDesfire);
  ASSERT_TRUE(driver_.Accept(kSoon));
  reader_.RemoveCard();
  EXPECT_TRUE(driver_.Ended(kSoon));
  EXPECT_FALSE(driver_.Accept(milliseconds(200)));
  reader_.PlaceCard(CardKind::kDesfire);
  ASSERT_TRUE(driver_.Accept(kSoon));
  // Another card laid in its place: the old connection goes, a new one comes.
  reader_.PlaceCard(CardKind::kClassic1K);
  EXPECT_TRUE(driver_.Ended(kSoon));
  ASSERT_TRUE(driver_.Accept(kSoon));
  driver_.Send("00 01 04");
  EXPECT_EQ(driver_.Read(22, kSoon),
            "00 14 3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A");
  EXPECT_EQ(card_->Status().connections, 3u);
}

TEST_F(VpcdCardTest, EachCardOfAFlowComesAndGoesOnItsOwnConnection) {
  driver_.Listen();
  Start();
  kovra_sim::FeedPlan plan;
  plan.count = 2;
  plan.leave_after = milliseconds(150);
  plan.gap = milliseconds(100);
  reader_.FeedCards(plan);
  for (int card = 0; card < 2; ++card) {
    ASSERT_TRUE(driver_.Accept(kSoon)) << card;
    driver_.Send("00 01 04");
    EXPECT_EQ(driver_.Read(8, kSoon), kAtrAnswer);
    EXPECT_TRUE(driver_.Ended(kSoon)) << card;
  }
  EXPECT_FALSE(driver_.Accept(milliseconds(300)));
  EXPECT_EQ(card_->Status().connections, 2u);
}

TEST_F(VpcdCardTest, TheRemoveAfterFaultAnswersTheLastExchangeThenGoes) {
  driver_.Listen();
  reader_.PlaceCard(CardKind::kDesfire);
  Start();
  ASSERT_TRUE(driver_.Accept(kSoon));
  reader_.RemoveCardAfterExchanges(1);
  driver_.Send("00 05 90 6A 00 00 00");
  bool ended = false;
  EXPECT_EQ(driver_.Read(4, kSoon, &ended), "00 02 91 00");
  EXPECT_TRUE(ended || driver_.Ended(kSoon));
}

TEST_F(VpcdCardTest, AMuteCardGoesAfterItsTimeoutAndComesBackWhenHeard) {
  driver_.Listen();
  reader_.PlaceCard(CardKind::kDesfire);
  Start(milliseconds(200));
  ASSERT_TRUE(driver_.Accept(kSoon));
  reader_.SetSilent(true);
  const auto asked = std::chrono::steady_clock::now();
  driver_.Send("00 01 04");
  bool ended = false;
  EXPECT_EQ(driver_.Read(8, kSoon, &ended), "");
  EXPECT_TRUE(ended);
  EXPECT_GE(std::chrono::steady_clock::now() - asked, milliseconds(200));
  EXPECT_FALSE(driver_.Accept(milliseconds(200)));  // not detected while mute
  reader_.SetSilent(false);
  ASSERT_TRUE(driver_.Accept(kSoon));
  driver_.Send("00 01 04");
  EXPECT_EQ(driver_.Read(8, kSoon), kAtrAnswer);
}

TEST_F(VpcdCardTest, ABrokenMessageEndsTheConnectionAndTheCardComesAgain) {
  driver_.Listen();
  reader_.PlaceCard(CardKind::kDesfire);
  Start();
  ASSERT_TRUE(driver_.Accept(kSoon));
  driver_.Send("01 06");  // longer than any short APDU
  EXPECT_TRUE(driver_.Ended(kSoon));
  EXPECT_NE(card_->Status().last_close.find("262"), std::string::npos)
      << card_->Status().last_close;
  ASSERT_TRUE(driver_.Accept(kSoon));
  driver_.Send("00 01 04");
  EXPECT_EQ(driver_.Read(8, kSoon), kAtrAnswer);
}

TEST(VpcdAddress, TakesAnIpv4AddressAndAnOptionalPort) {
  kovra_sim::Ipv4 address{};
  uint16_t port = kovra_sim::VpcdCardConfig::kDefaultPort;
  EXPECT_TRUE(kovra_sim::ParseVpcdAddress("127.0.0.1", &address, &port));
  EXPECT_EQ(port, 35963);
  EXPECT_TRUE(kovra_sim::ParseVpcdAddress("127.0.0.2:40000", &address, &port));
  EXPECT_EQ(address, (kovra_sim::Ipv4{127, 0, 0, 2}));
  EXPECT_EQ(port, 40000);
  for (const char *bad : {"127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536", "localhost:35963",
                          "127.0.0.1:35963x", ""}) {
    EXPECT_FALSE(kovra_sim::ParseVpcdAddress(bad, &address, &port)) << bad;
  }
}

}  // namespace
