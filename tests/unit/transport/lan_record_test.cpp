// The configuration service's datagrams and records, and the texts made from them.
#include "transport/lan_config/lan_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/name_list.h"
#include "transport/lan_config/lan_datagram.h"
#include "unit/transport/lan_fixtures.h"

namespace kovra::lan {
namespace {

using kovra_test::ReaderSettings;
using kovra_test::SetupRecord;

TEST(LanDatagram, RequestsAndReplyCodesOfEveryRecord) {
  EXPECT_EQ(IdentifyRequest(), (Bytes{0x00, 0x01, 0x00, 0xF6}));
  EXPECT_EQ(ReadRecordRequest(0), (Bytes{0x00, 0x01, 0x00, 0xF8}));
  EXPECT_EQ(ReadRecordRequest(1), (Bytes{0x00, 0x01, 0x00, 0xE1}));
  EXPECT_EQ(ReadRecordRequest(15), (Bytes{0x00, 0x01, 0x00, 0xEF}));
  EXPECT_EQ(ReadRecordReplyCode(0), 0xF9);
  EXPECT_EQ(ReadRecordReplyCode(2), 0xD2);
  EXPECT_EQ(ReadRecordReplyCode(15), 0xDF);
  EXPECT_EQ(WriteRecordRequest(0, {7, 8}), (Bytes{0x00, 0x00, 0x00, 0xFD, 7, 8}));
  EXPECT_EQ(WriteRecordRequest(3, {9}), (Bytes{0x00, 0x01, 0x00, 0xC3, 9}));
  EXPECT_EQ(WriteRecordReplyCode(0), 0xFB);
  EXPECT_EQ(WriteRecordReplyCode(3), 0xB3);
  EXPECT_EQ(EndOfConfiguration(), (Bytes{0x00, 0x00, 0x00, 0x03, 'X', '3'}));
}

TEST(LanDatagram, AddressAssignmentsCarryTheirSettingsInOrder) {
  const Bytes simple = SimpleAddressAssignment({0x44, 0x55}, {10, 231, 1, 9});
  const Bytes simple_expected = {0,   0,   0, 0xFC, 'I',  'P',  '-', 'S', 'E', 'T',
                                 'U', 'P', 0, 0,    0x44, 0x55, 10,  231, 1,   9};
  EXPECT_EQ(simple, simple_expected);

  ExtendedAssignment settings;
  settings.identifier = {1, 2, 3, 4, 5, 6};
  settings.address = {10, 231, 1, 9};
  settings.tcp_port = 4001;  // 0x0FA1
  settings.mask = {255, 255, 255, 0};
  settings.gateway = {10, 231, 1, 254};
  settings.name = {'D', 'O', 'O', 'R'};
  const Bytes extended = ExtendedAddressAssignment(settings);
  ASSERT_EQ(extended.size(), 14u + 36u);
  EXPECT_EQ(Bytes(extended.begin() + 12, extended.begin() + 14), (Bytes{'E', 'X'}));
  EXPECT_EQ(Bytes(extended.begin() + 14, extended.begin() + 30),
            (Bytes{1, 2, 3, 4, 5, 6, 10, 231, 1, 9, 0xA1, 0x0F, 255, 255, 255, 0}));
  EXPECT_EQ(Bytes(extended.begin() + 30, extended.begin() + 35), (Bytes{10, 231, 1, 254, 'D'}));
  EXPECT_EQ(extended.back(), 0);
}

TEST(LanDatagram, ADatagramShorterThanItsHeaderIsNoReply) {
  const uint8_t bytes[] = {0x00, 0x01, 0x00, 0xF9, 0x42};
  for (size_t count = 0; count < 4; ++count) EXPECT_FALSE(ParseDatagram(bytes, count)) << count;
  const auto header_only = ParseDatagram(bytes, 4);
  ASSERT_TRUE(header_only);
  EXPECT_EQ(header_only->code, 0xF9);
  EXPECT_TRUE(header_only->payload.empty());
  EXPECT_EQ(ParseDatagram(bytes, 5)->payload, (Bytes{0x42}));
}

TEST(LanRecord, FieldsIdentityAndSearchEntries) {
  const Ipv4 sender{10, 231, 1, 77};
  struct Case {
    ReaderSettings settings;
    std::string identity;
    std::string entry;
  } cases[] = {
      // A DHCP reader: its name halves come from bytes 112 and 84, each stopping at a NUL.
      {{{0, 0, 0, 0}, 8, {}, 10001, "NORTHGATE1"}, "[NORTHGATE1]", "[NORTHGATE1]10.231.1.77-10001"},
      // A fixed address that is the sender's: address-port only.
      {{{10, 231, 1, 77}, 8, {}, 4001, "LOBBY"}, "[LOBBY]", "10.231.1.77-4001"},
      // A configured address other than the sender's counts as DHCP (the reader moved).
      {{{10, 231, 1, 5}, 8, {}, 10001, "ABCDEFGHIJKLMNOP"},
       "[ABCDEFGHIJKLMNOP]",
       "[ABCDEFGHIJKLMNOP]10.231.1.77-10001"},
      {{{0, 0, 0, 0}, 8, {}, 65535, ""}, "[]", "[]10.231.1.77-65535"},
  };
  for (const Case &c : cases) {
    const Bytes record = SetupRecord(c.settings);
    EXPECT_EQ(ReaderIdentity(record), c.identity);
    EXPECT_EQ(SearchEntry(record, sender), c.entry);
    EXPECT_EQ(TcpPort(record), c.settings.tcp_port);
  }
  // A record cut short reads as zeros rather than past its end.
  const Bytes short_record(119, 0xFF);
  EXPECT_EQ(ConfiguredAddress(short_record), kAnyAddress);
  EXPECT_EQ(DeviceName(short_record), "");
  EXPECT_EQ(TcpPort(short_record), 0);
}

TEST(LanRecord, MasksAndHostBitsWithoutShiftingPastTheWord) {
  const struct {
    int host_bits;
    std::string mask;
  } to_mask[] = {{0, "255.255.255.255"}, {1, "255.255.255.254"}, {8, "255.255.255.0"},
                 {9, "255.255.254.0"},   {31, "128.0.0.0"},      {32, "0.0.0.0"},
                 {33, "0.0.0.0"},        {255, "0.0.0.0"},       {-1, "255.255.255.255"}};
  for (const auto &c : to_mask) EXPECT_EQ(Dotted(MaskFromHostBits(c.host_bits)), c.mask);

  const struct {
    std::string mask;
    int host_bits;
  } to_bits[] = {{"255.255.254.0", 9},
                 {"255.255.255.255", 0},
                 {"0.0.0.0", 32},
                 {"128.0.0.0", 31},
                 {"255.0.255.0", 8}};
  for (const auto &c : to_bits) EXPECT_EQ(HostBitsFromMask(*ParseDotted(c.mask)), c.host_bits);
}

TEST(LanRecord, DottedAddressesParseStrictly) {
  EXPECT_EQ(ParseDotted("10.231.1.2"), (Ipv4{10, 231, 1, 2}));
  EXPECT_EQ(ParseDotted("255.255.255.255"), (Ipv4{255, 255, 255, 255}));
  for (const char *bad : {"", "10.231.1", "10.231.1.2.3", "10.231.1.256", "10.231.1.x", "10..1.2",
                          "10.231.1.2 ", "-1.0.0.0", "10.231.1.2-80"}) {
    EXPECT_FALSE(ParseDotted(bad)) << bad;
  }
}

TEST(LanRecord, AddressSpecifications) {
  const struct {
    std::string text;
    Ipv4 address;
    uint16_t port;
    std::string name;
  } cases[] = {
      {"[LOBBYDOOR7]", {0, 0, 0, 0}, 0, "LOBBYDOOR7"},
      {"[LOBBYDOOR7]-4001", {0, 0, 0, 0}, 4001, "LOBBYDOOR7"},
      {"[A-B]-4001", {0, 0, 0, 0}, 4001, "A-B"},  // the hyphen after the bracket counts
      {"10.231.1.9", {10, 231, 1, 9}, 0, ""},
      {"10.231.1.9-10002", {10, 231, 1, 9}, 10002, ""},
      {"", {0, 0, 0, 0}, 0, ""},  // neither form: DHCP, nothing else changes
      {"dhcp", {0, 0, 0, 0}, 0, ""},
  };
  for (const auto &c : cases) {
    const auto spec = ParseAddressSpec(c.text);
    ASSERT_TRUE(spec) << c.text;
    EXPECT_EQ(spec->address, c.address) << c.text;
    EXPECT_EQ(spec->port, c.port) << c.text;
    EXPECT_EQ(spec->name, c.name) << c.text;
  }
  // Texts that mean an address or a port but do not parse are refused, not turned into DHCP.
  for (const char *bad :
       {"10.231.1.300", "10.231.1.9-70000", "10.231.1.9-", "[NAME]-x", "[NOCLOSE", "10.231.x.9"}) {
    EXPECT_FALSE(ParseAddressSpec(bad)) << bad;
  }
}

TEST(LanRecord, ProductNamesOfTheMakersReaders) {
  EXPECT_EQ(ProductName(kovra_test::ProductRecord("KV-LAN 10")), "KV-LAN 10");
  EXPECT_TRUE(IsMakersProduct("kv-lan"));
  EXPECT_TRUE(IsMakersProduct("KV-"));
  EXPECT_FALSE(IsMakersProduct("KV"));
  EXPECT_FALSE(IsMakersProduct("XPORT-KV-"));
  EXPECT_EQ(ProductName(kovra_test::ProductRecord("KV-LAN", 125)), "");  // too short
  // A name without a NUL ends with the record.
  Bytes unterminated(126, 'K');
  EXPECT_EQ(ProductName(unterminated), std::string(126 - 93, 'K'));
}

TEST(LanRecord, SearchListsAreSortedByteWiseWithoutDuplicates) {
  std::vector<std::string> list;
  for (const char *entry : {"[ZED]10.0.0.2-10001", "10.0.0.9-10001", "[ALPHA]10.0.0.3-10001",
                            "10.0.0.10-10001", "10.0.0.9-10001"}) {
    InsertSorted(list, entry);
  }
  EXPECT_EQ(list, (std::vector<std::string>{"10.0.0.10-10001", "10.0.0.9-10001",
                                            "[ALPHA]10.0.0.3-10001", "[ZED]10.0.0.2-10001"}));
}

TEST(LanNameList, EntriesThatFitTheirClosingNulIncluded) {
  const std::vector<std::string> names = {"10.0.0.9-10001", "[NORTHGATE1]"};
  char buffer[65];
  const struct {
    int size;
    int result;
    std::string written;
  } cases[] = {
      {64, 15 + 13 + 1, std::string("10.0.0.9-10001\0[NORTHGATE1]\0\0", 29)},
      {29, 29, std::string("10.0.0.9-10001\0[NORTHGATE1]\0\0", 29)},
      {28, 16, std::string("10.0.0.9-10001\0\0", 16)},  // the second does not fit: it ends the list
      {16, 16, std::string("10.0.0.9-10001\0\0", 16)},
      {15, 1, std::string("\0", 1)},
      {1, 1, std::string("\0", 1)},
  };
  for (const auto &c : cases) {
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(kovra::WriteNameList(names, buffer, c.size), c.result) << c.size;
    EXPECT_EQ(std::string(buffer, c.written.size()), c.written) << c.size;
    EXPECT_EQ(buffer[c.size], 'x') << c.size;  // nothing past the caller's size
  }
  EXPECT_EQ(kovra::WriteNameList({}, buffer, 64), 1);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(kovra::WriteNameList(names, nullptr, 64), 0);
  EXPECT_EQ(kovra::WriteNameList(names, buffer, 0), 0);
}

}  // namespace
}  // namespace kovra::lan
