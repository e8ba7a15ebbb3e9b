// The configuration service of network readers through the C API, inside network namespaces of
// the test's own: the search over two adapters, ping, reading and changing a reader's settings
// (and opening it where it went), and readers that misbehave.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "kovra.h"
#include "support/lan_calls.h"
#include "support/lan_lab.h"
#include "support/lan_test_reader.h"
#include "transport/lan_config/lan_config_link.h"

namespace {

using kovra_test::Entries;
using kovra_test::Eventually;
using kovra_test::LanLab;
using kovra_test::LanReaderSetup;
using kovra_test::LanTestReader;
using kovra_test::Search;
using kovra_test::Since;
using kovra_test::Version;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

struct Settings {
  std::string name, address, mask, gateway;
};

int GetConfig(const char *address, Settings &settings, bool with_name = true) {
  char name[32] = {}, at[32] = {}, mask[32] = {}, gateway[32] = {};
  const int result = KOVRA_GetLanConfig(address, with_name ? name : nullptr, at, mask, gateway);
  settings = {name, at, mask, gateway};
  return result;
}

class LanConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!lab_.Skipped().empty()) GTEST_SKIP() << lab_.Skipped();
    ASSERT_TRUE(lab_.AddNetwork(1));
  }

  struct ReaderSpec {
    int network = 1;
    int host = 2;
    std::string name = "READER";
    bool dhcp = false;
    std::string product = "KV-LAN 10";
    bool extended = true;
  };

  LanTestReader &AddReader(const ReaderSpec &spec) {
    kovra_test::NetNamespace *ns = lab_.AddReaderHost(spec.network, spec.host);
    EXPECT_NE(ns, nullptr);
    LanReaderSetup setup;
    if (!spec.dhcp) setup.configured = {10, 231, uint8_t(spec.network), uint8_t(spec.host)};
    setup.gateway = {10, 231, uint8_t(spec.network), 1};
    setup.name = spec.name;
    setup.product = spec.product;
    setup.extended = spec.extended;
    setup.identifier[4] = uint8_t(spec.network);  // address assignments are broadcast: each
    setup.identifier[5] = uint8_t(spec.host);     // reader takes only those for its identifier
    readers_.push_back(std::make_unique<LanTestReader>(
        *ns, LanLab::ReaderAddress(spec.network, spec.host), setup));
    EXPECT_TRUE(readers_.back()->Running());
    return *readers_.back();
  }

  LanLab lab_;
  std::vector<std::unique_ptr<LanTestReader>> readers_;  // destroyed before the lab
};

TEST_F(LanConfigTest, SearchesBothAdaptersSortedOnceEachAndFiltered) {
  ASSERT_TRUE(lab_.AddNetwork(2));
  AddReader({.host = 2, .name = "FIXEDONE"});
  AddReader({.host = 3, .name = "NORTHGATE1", .dhcp = true});
  AddReader({.host = 4, .name = "OTHER", .product = "XPORT-AR"});  // not one of the maker's
  AddReader({.network = 2, .host = 5, .name = "SECONDNET", .product = "kv-lan 20"});

  auto start = Clock::now();
  EXPECT_EQ(Search(false),
            (std::vector<std::string>{"10.231.1.2-10001", "10.231.1.4-10001", "10.231.2.5-10001",
                                      "[NORTHGATE1]10.231.1.3-10001"}));
  // About 500 ms of quiet per adapter after the last answer.
  EXPECT_GE(Since(start), milliseconds(1000));
  EXPECT_LT(Since(start), milliseconds(2500));

  start = Clock::now();
  EXPECT_EQ(Search(true),
            (std::vector<std::string>{"10.231.1.2-10001", "10.231.2.5-10001", "[NORTHGATE1]"}));
  EXPECT_LT(Since(start), milliseconds(3000));

  // A buffer too small for all: the entries that fit, in order, and the closing NUL.
  char small[30];
  const int used = KOVRA_SearchLanDevices(small, sizeof small);
  EXPECT_EQ(used, 17 + 1);
  EXPECT_EQ(Entries(small, used), (std::vector<std::string>{"10.231.1.2-10001"}));
}

TEST_F(LanConfigTest, ASearchEndsWhenNobodyAnswersAndDespiteAReaderThatNeverStops) {
  char buffer[64];
  auto start = Clock::now();
  EXPECT_EQ(KOVRA_SearchLanDevices(buffer, sizeof buffer), 1);  // an empty list
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_LT(Since(start), milliseconds(900));

  LanTestReader &chatty = AddReader({.host = 2, .name = "CHATTY"});
  chatty.SetChatty(true);
  start = Clock::now();
  EXPECT_EQ(Search(false), (std::vector<std::string>{"10.231.1.2-10001"}));
  EXPECT_GE(Since(start), kovra::lan::kMaxSearchPerAdapter);
  EXPECT_LT(Since(start), kovra::lan::kMaxSearchPerAdapter + milliseconds(600));
}

TEST_F(LanConfigTest, AReaderThatRestartsDuringASearchIsMissedWithoutHarmAndFoundAfterwards) {
  AddReader({.host = 2, .name = "STEADY"});
  LanTestReader &restarting = AddReader({.host = 3, .name = "RESTARTS"});
  restarting.Restart(700);
  const auto start = Clock::now();
  EXPECT_EQ(Search(false), (std::vector<std::string>{"10.231.1.2-10001"}));
  EXPECT_LT(Since(start), milliseconds(1500));
  restarting.WaitRestarted();
  ASSERT_TRUE(lab_.WaitReaderUp(1, 3));
  EXPECT_EQ(Search(false), (std::vector<std::string>{"10.231.1.2-10001", "10.231.1.3-10001"}));
}

TEST_F(LanConfigTest, JunkAndShortDatagramsAreNoReplies) {
  LanTestReader &reader = AddReader({.host = 2, .name = "JUNKY", .dhcp = true});
  reader.SetJunkFirst(true);
  EXPECT_EQ(Search(true), (std::vector<std::string>{"[JUNKY]"}));
  Settings settings;
  EXPECT_EQ(GetConfig("[JUNKY]", settings), 0);
  EXPECT_EQ(settings.name, "[JUNKY]-10001");
}

TEST_F(LanConfigTest, PingAnswersForReadersOnly) {
  AddReader({.host = 2, .name = "FIXEDONE"});
  AddReader({.host = 3, .name = "NORTHGATE1", .dhcp = true});
  EXPECT_EQ(KOVRA_PingLanDevice("10.231.1.2"), 1);
  EXPECT_EQ(KOVRA_PingLanDevice("10.231.1.2-10001:5"), 1);
  EXPECT_EQ(KOVRA_PingLanDevice("[NORTHGATE1]"), 1);
  EXPECT_EQ(KOVRA_PingLanDevice("10.231.1.9"), 0);
  EXPECT_EQ(KOVRA_PingLanDevice("[NOBODY]"), 0);
  // Every reader answers a request to the broadcast address; none of them is "the" reader there.
  EXPECT_EQ(KOVRA_PingLanDevice("255.255.255.255"), 0);
  EXPECT_EQ(KOVRA_PingLanDevice(nullptr), 0);
}

TEST_F(LanConfigTest, ReadsTheSettingsOfFixedAndDhcpReaders) {
  AddReader({.host = 2, .name = "FIXEDONE"});
  AddReader({.host = 3, .name = "NORTHGATE1", .dhcp = true});
  Settings settings;
  ASSERT_EQ(GetConfig("10.231.1.2", settings), 0);
  EXPECT_EQ(settings.address, "10.231.1.2-10001");
  EXPECT_EQ(settings.name, "[FIXEDONE]-10001");
  EXPECT_EQ(settings.mask, "255.255.255.0");
  EXPECT_EQ(settings.gateway, "10.231.1.1");

  ASSERT_EQ(GetConfig("[NORTHGATE1]", settings), 0);
  EXPECT_EQ(settings.address, "");
  EXPECT_EQ(settings.name, "[NORTHGATE1]-10001");
  // Without a name buffer the DHCP reader's name comes in the address buffer.
  ASSERT_EQ(GetConfig("10.231.1.3", settings, false), 0);
  EXPECT_EQ(settings.address, "[NORTHGATE1]-10001");

  EXPECT_EQ(GetConfig("10.231.1.9", settings), -1);
  EXPECT_EQ(KOVRA_GetLanConfig("10.231.1.2", nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(LanConfigTest, AFixedReaderMovesToANewAddressAndOpensThere) {
  for (bool extended : {true, false}) {
    SCOPED_TRACE(extended ? "extended assignment" : "simple assignment");
    const int host = extended ? 2 : 3;
    LanTestReader &reader = AddReader({.host = host, .name = "MOVER", .extended = extended});
    const std::string old_address = LanLab::ReaderAddress(1, host);
    const std::string new_address = LanLab::ReaderAddress(1, host + 20);
    ASSERT_EQ(KOVRA_SetLanConfig(old_address.c_str(), (new_address + "-10001").c_str(),
                                 "255.255.254.0", "10.231.1.254"),
              0);
    EXPECT_EQ(reader.Address(), new_address);
    EXPECT_EQ(reader.Assignments(), 1);
    Settings settings;
    ASSERT_EQ(GetConfig(new_address.c_str(), settings), 0);
    EXPECT_EQ(settings.address, new_address + "-10001");
    EXPECT_EQ(settings.mask, "255.255.254.0");
    EXPECT_EQ(settings.gateway, "10.231.1.254");
    EXPECT_EQ(settings.name, "[MOVER]-10001");
    const int handle = KOVRA_OpenPort(new_address.c_str(), 0, 500);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(Version(handle), "1234");
    KOVRA_ClosePort(handle);
  }
}

TEST_F(LanConfigTest, ADhcpReaderWithoutTheExtendedAssignmentIsRenamed) {
  LanTestReader &reader =
      AddReader({.host = 3, .name = "OLDNAME", .dhcp = true, .extended = false});
  const auto start = Clock::now();
  // The reader takes the new name only with its setup record, which is written after it was
  // found again: under its old name.
  ASSERT_EQ(KOVRA_SetLanConfig("[OLDNAME]", "[NEWNAME]", "", "10.231.1.1"), 0);
  EXPECT_LT(Since(start), milliseconds(5000));
  Settings settings;
  ASSERT_EQ(GetConfig("[NEWNAME]", settings), 0);
  EXPECT_EQ(settings.name, "[NEWNAME]-10001");
  EXPECT_EQ(settings.address, "");
  EXPECT_EQ(reader.Record(3)[102], 0);  // characters 9 .. 16 of the short name: none
  const int handle = KOVRA_OpenPort("[NEWNAME]", 0, 500);
  EXPECT_GT(handle, 0);
  KOVRA_ClosePort(handle);
  EXPECT_TRUE(Eventually([&] { return reader.EndCommands() >= 1; }));
}

TEST_F(LanConfigTest, NothingToChangeSendsOnlyTheEndOfConfiguration) {
  LanTestReader &reader = AddReader({.host = 2, .name = "STAYS"});
  EXPECT_EQ(KOVRA_SetLanConfig("10.231.1.2", "10.231.1.2", nullptr, "10.231.1.1"), 0);
  EXPECT_TRUE(Eventually([&] { return reader.EndCommands() == 1; }));
  EXPECT_EQ(reader.Assignments(), 0);

  // Arguments that do not parse change nothing and reach no reader.
  EXPECT_EQ(KOVRA_SetLanConfig("10.231.1.2", "10.231.1.300", nullptr, nullptr), -1);
  EXPECT_EQ(KOVRA_SetLanConfig("10.231.1.2", "10.231.1.5", "255.255.0", nullptr), -1);
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(reader.EndCommands(), 1);
  EXPECT_EQ(reader.Address(), "10.231.1.2");
  EXPECT_EQ(KOVRA_SetLanConfig("10.231.1.9", "10.231.1.5", nullptr, nullptr), -1);  // nobody
}

TEST_F(LanConfigTest, OnlyTheReaderAskedCanAcknowledgeOrIdentify) {
  LanTestReader &asked = AddReader({.host = 2, .name = "ASKED"});
  LanTestReader &other = AddReader({.host = 3, .name = "OTHER"});
  other.SetStrayAcks(true);  // acknowledges writes it was never sent

  kovra::lan::LanConfigLink link;
  ASSERT_TRUE(link.OpenConfigLink("10.231.1.2"));
  asked.SetConfigSilent(true);
  EXPECT_FALSE(link.SetRecord(0, asked.Record(0)));
  kovra::lan::Bytes identify;
  EXPECT_FALSE(link.QueryIdentify(identify));
  asked.SetConfigSilent(false);
  EXPECT_TRUE(link.QueryIdentify(identify));
  link.CloseDatagram();

  // On a link to the broadcast address every reader answers, so identify answers false.
  kovra::lan::LanConfigLink broadcast;
  broadcast.SetBindAddress("10.231.1.1");
  ASSERT_TRUE(broadcast.OpenDatagram("255.255.255.255"));
  EXPECT_FALSE(broadcast.QueryIdentify(identify));
}

// A device that answers one search with a heap of records, alone or with a reader that keeps
// talking: the search and its product check share one deadline, and the device's address is
// asked once.
TEST_F(LanConfigTest, ADeviceThatFloodsTheSearchCannotStretchIt) {
  const struct {
    int records;
    bool chatter;
  } cases[] = {{60, false}, {20, true}};
  int host = 2;
  for (const auto &c : cases) {
    LanTestReader &flood = AddReader({.host = host++, .name = "FLOOD"});
    flood.SetSearchFlood(c.records);
    LanTestReader &talker = AddReader({.host = host++, .name = "TALKER"});
    talker.SetChatty(c.chatter);
    const auto start = Clock::now();
    const std::vector<std::string> found = Search(true);
    EXPECT_LT(Since(start), kovra::lan::kMaxSearchPerAdapter + milliseconds(1000)) << c.records;
    for (const std::string &entry : found) EXPECT_EQ(entry.rfind("[R", 0), std::string::npos);
    flood.SetSearchFlood(0);
    talker.SetChatty(false);
  }
}

// A change of the address alone needs identify; a reader that does not answer it keeps its
// address, and the call says so.
TEST_F(LanConfigTest, AnAddressChangeWithoutIdentifyFails) {
  LanTestReader &reader = AddReader({.host = 2, .name = "NOIDENT"});
  reader.SetIdentifySilent(true);
  const auto start = Clock::now();
  EXPECT_EQ(KOVRA_SetLanConfig("10.231.1.2", "10.231.1.7", nullptr, "10.231.1.1"), -1);
  EXPECT_LT(Since(start), milliseconds(5000));
  EXPECT_EQ(reader.Address(), "10.231.1.2");
  EXPECT_EQ(reader.Assignments(), 0);
  EXPECT_EQ(KOVRA_PingLanDevice("10.231.1.2"), 1);
}

}  // namespace
