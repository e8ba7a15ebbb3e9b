// Network reader names, the choice of the local adapter, whose replies count, and a settings
// change worked out on the reader's records.
#include "transport/lan_config/lan_settings.h"

#include <gtest/gtest.h>

#include "transport/lan/lan_adapters.h"
#include "transport/lan/lan_name.h"
#include "transport/lan_config/lan_config_link.h"
#include "unit/transport/lan_fixtures.h"

namespace kovra::lan {
namespace {

using kovra_test::ReaderSettings;
using kovra_test::SetupRecord;

TEST(LanName, TheThreeNameForms) {
  const struct {
    std::string name;
    std::string address;
    uint16_t port;
  } targets[] = {
      {"192.168.0.20", "192.168.0.20", 10001},
      {"192.168.0.20-4001", "192.168.0.20", 4001},
      {"a-b-192.168.0.20-4001", "a-b-192.168.0.20", 4001},  // the last hyphen counts
  };
  for (const auto &t : targets) {
    const auto target = SplitTarget(t.name);
    ASSERT_TRUE(target) << t.name;
    EXPECT_EQ(target->address, t.address);
    EXPECT_EQ(target->port, t.port);
  }
  for (const char *bad : {"192.168.0.20-", "192.168.0.20-0", "192.168.0.20-65536", "1.2.3.4-x"}) {
    EXPECT_FALSE(SplitTarget(bad)) << bad;
  }
  EXPECT_EQ(BracketedIdentity("[NORTHGATE1]"), "[NORTHGATE1]");
  EXPECT_EQ(BracketedIdentity("x[NORTHGATE1]10.0.0.7-10001"), "[NORTHGATE1]");
  EXPECT_FALSE(BracketedIdentity("]NORTHGATE1["));
  EXPECT_FALSE(BracketedIdentity("10.0.0.7"));
  EXPECT_EQ(AddressPart("10.0.0.7-10001"), "10.0.0.7");
  EXPECT_EQ(AddressPart("10.0.0.7"), "10.0.0.7");
}

TEST(LanAdapters, TheAdapterWhoseSubnetHoldsTheReaderElseTheOneTheRouteLeavesBy) {
  const std::vector<Adapter> adapters = {
      {"10.231.1.1", "255.255.255.0", 4},
      {"10.231.2.1", "255.255.255.0", 5},
      {"10.231.3.1", "255.255.0.0", 5},
  };
  const struct {
    std::optional<Route> route;
    std::string target;
    std::string bind;
  } cases[] = {
      {Route{5, "10.231.2.1"}, "10.231.2.9", "10.231.2.1"},
      {Route{4, "10.231.1.1"}, "10.231.1.9", "10.231.1.1"},
      {Route{5, "10.231.2.1"}, "10.231.9.9", "10.231.3.1"},  // the wider subnet on that interface
      {Route{4, "10.231.1.1"}, "10.231.2.9", "10.231.1.1"},  // no subnet holds it: the route's
      // A reader behind a router on the second adapter: never the first adapter.
      {Route{5, "10.231.2.1"}, "192.0.2.7", "10.231.2.1"},
      {Route{5, ""}, "192.0.2.7", "10.231.1.1"},
      {std::nullopt, "10.231.2.9", "10.231.1.1"},  // no route: the first
      {Route{5, "10.231.2.1"}, "not an address", "10.231.1.1"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(ChooseAdapter(adapters, c.route, c.target), c.bind) << c.target;
  }
  EXPECT_EQ(ChooseAdapter({}, Route{5, "10.231.2.1"}, "10.231.2.9"), "");
}

TEST(LanConfigLink, OnlyTheReaderAskedAnswers) {
  EXPECT_TRUE(IsReplyFrom("10.231.1.2", "10.231.1.2"));
  EXPECT_FALSE(IsReplyFrom("10.231.1.3", "10.231.1.2"));
  // Nobody answers for the broadcast address: its replies cannot be told apart.
  EXPECT_FALSE(IsReplyFrom("255.255.255.255", "255.255.255.255"));
  EXPECT_FALSE(IsReplyFrom("10.231.1.2", "255.255.255.255"));
  EXPECT_FALSE(IsReplyFrom("", ""));
}

TEST(LanSettings, WhatChangesAndTheRecordWrittenBack) {
  const Bytes record = SetupRecord({{10, 231, 1, 2}, 8, {10, 231, 1, 254}, 10001, "DOOR"});
  const struct {
    std::string address, mask, gateway;
    bool address_changes, others_change;
  } cases[] = {
      {"10.231.1.2", "", "10.231.1.254", false, false},  // all as it is
      {"10.231.1.2-10001", "255.255.255.0", "10.231.1.254", false, false},
      {"10.231.1.3", "", "10.231.1.254", true, false},
      {"10.231.1.2", "", "", false, true},  // no gateway clears the one set
      {"10.231.1.2-4001", "", "10.231.1.254", false, true},
      {"10.231.1.2", "255.255.254.0", "10.231.1.254", false, true},
      {"[DOOR]", "", "10.231.1.254", true, false},  // to DHCP under the same name
      {"[GATE]", "", "10.231.1.254", true, true},
  };
  for (const auto &c : cases) {
    const auto change = ParseSettingsChange(c.address, c.mask, c.gateway);
    ASSERT_TRUE(change) << c.address;
    EXPECT_EQ(AddressChanges(record, *change), c.address_changes) << c.address;
    EXPECT_EQ(OtherSettingsChange(record, *change), c.others_change) << c.address << c.mask;
  }
  EXPECT_FALSE(ParseSettingsChange("10.231.1.2", "255.255.255", ""));
  EXPECT_FALSE(ParseSettingsChange("10.231.1.2", "", "10.231.1.2.5"));

  const auto change = ParseSettingsChange("[NEWGATEWAY-NORTH1]-4001", "255.255.254.0", "");
  const Bytes patched = PatchedSetupRecord(record, *change);
  Bytes expected = SetupRecord({{0, 0, 0, 0}, 9, {0, 0, 0, 0}, 4001, "NEWGATEWAY-NORTH"});
  EXPECT_EQ(patched, expected);  // the name cut to 16; the other bytes as read

  const Bytes record3(126, 0x33);
  const auto patched3 = PatchedNameRecord(record3, *change);
  ASSERT_TRUE(patched3);
  EXPECT_EQ(std::string(patched3->begin() + 102, patched3->begin() + 110), "AY-NORTH");
  EXPECT_EQ((*patched3)[101], 0x33);
  EXPECT_EQ((*patched3)[110], 0x33);
  EXPECT_FALSE(PatchedNameRecord(Bytes(127, 0), *change));
}

TEST(LanSettings, ExtendedAssignmentKeepsWhatWasNotGiven) {
  const Bytes record = SetupRecord({{10, 231, 1, 2}, 9, {10, 231, 1, 254}, 4001, "DOOR"});
  const Bytes identify = kovra_test::IdentifyReply(true, 0x20);
  EXPECT_TRUE(TakesExtendedAssignment(identify));
  EXPECT_FALSE(TakesExtendedAssignment(kovra_test::IdentifyReply(false)));
  EXPECT_FALSE(TakesExtendedAssignment(Bytes(25, 'U')));
  EXPECT_EQ(IdentifierTail(identify), (std::array<uint8_t, 2>{0x24, 0x25}));
  EXPECT_EQ(IdentifierTail(Bytes(25, 0x77)), (std::array<uint8_t, 2>{}));  // too short

  const auto change = ParseSettingsChange("10.231.1.7", "", "10.231.1.1");
  const ExtendedAssignment sent = ExtendedFor(identify, record, *change);
  EXPECT_EQ(sent.identifier, (std::array<uint8_t, 6>{0x20, 0x21, 0x22, 0x23, 0x24, 0x25}));
  EXPECT_EQ(sent.address, (Ipv4{10, 231, 1, 7}));
  EXPECT_EQ(sent.tcp_port, 4001);                  // port 0 given: the reader's own
  EXPECT_EQ(sent.mask, (Ipv4{255, 255, 254, 0}));  // no mask given: the reader's own
  EXPECT_EQ(sent.gateway, (Ipv4{10, 231, 1, 1}));
  EXPECT_EQ(std::string(sent.name.begin(), sent.name.begin() + 5), std::string("DOOR\0", 5));
}

TEST(LanSettings, ADhcpReaderIsFoundAgainByTheNameItAnswersTo) {
  const Bytes dhcp = SetupRecord({{0, 0, 0, 0}, 8, {}, 10001, "OLDNAME"});
  const auto rename = ParseSettingsChange("[NEWNAME]", "", "");
  // Simple assignment: the new name is written only after the reader is found again, so it
  // still answers to its old one.
  EXPECT_EQ(ReopenName(dhcp, *rename, false), "[OLDNAME]");
  // Extended assignment: the name went with it.
  EXPECT_EQ(ReopenName(dhcp, *rename, true), "[NEWNAME]");
  EXPECT_EQ(ReopenName(dhcp, *ParseSettingsChange("10.231.1.9-4001", "", ""), false), "10.231.1.9");
  EXPECT_EQ(ReopenName(dhcp, *ParseSettingsChange("", "", ""), true), "[OLDNAME]");
}

}  // namespace
}  // namespace kovra::lan
