// The network reader's configuration service as a host meets it, without sockets: each request
// datagram against the answer's code and fields, the setup record's encoding, record writes read
// back, address assignments (for this reader, for another one, refused), and datagrams that are
// no request at all.
#include "sim/lan_datagram.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "sim/lan_records.h"
#include "unit/reader/hex.h"

namespace {

using kovra_sim::Bytes;
using kovra_sim::Ipv4;
using kovra_sim::LanAnswer;
using kovra_sim::LanIdentity;
using kovra_sim::LanRecords;
using kovra_sim::LanSettings;
using kovra_test::Hex;
using kovra_test::ToHex;

constexpr kovra_sim::DeviceId kId = {0x02, 0x4B, 0x56, 0x00, 0x00, 0x01};

LanSettings FixedReader() {
  LanSettings settings;
  settings.address = {192, 168, 1, 50};
  settings.host_bits = 8;
  settings.gateway = {192, 168, 1, 254};
  settings.port = 10001;
  settings.name = "LOBBYDOOR7";
  return settings;
}

LanIdentity Identity(bool extended = true) {
  LanIdentity identity;
  identity.id = kId;
  identity.extended = extended;
  return identity;
}

LanAnswer Ask(LanRecords &records, const Bytes &request, bool extended = true) {
  return kovra_sim::AnswerLanDatagram(records, Identity(extended), request.data(), request.size());
}

std::string Text(const Bytes &bytes, size_t at, size_t count) {
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
}

Bytes Payload(const LanAnswer &answer) {
  return Bytes(answer.reply.begin() + 4, answer.reply.end());
}

// "00 00 00 FC" "IP-SETUP" and the variant mark, then the payload.
Bytes Assignment(const std::string &mark, const std::string &payload_hex) {
  Bytes datagram = Hex("00 00 00 FC");
  const std::string setup = "IP-SETUP";
  datagram.insert(datagram.end(), setup.begin(), setup.end());
  datagram.insert(datagram.end(), mark.begin(), mark.end());
  const Bytes payload = Hex(payload_hex);
  datagram.insert(datagram.end(), payload.begin(), payload.end());
  return datagram;
}

// An extended assignment for `id`: address, port, mask, gateway, name.
Bytes Extended(const std::string &id, const std::string &rest, const std::string &name) {
  Bytes datagram = Assignment("EX", id + rest);
  std::string padded = name;
  padded.resize(16, '\0');
  datagram.insert(datagram.end(), padded.begin(), padded.end());
  return datagram;
}

TEST(SimLanDatagramTest, AnswersEachRequestWithItsCodeAndRecord) {
  struct Case {
    const char *request;
    std::optional<uint8_t> code;  // nothing: no answer
    size_t payload = 0;
  };
  const Case cases[] = {
      {"00 01 00 F6", 0xF7, 30},   // identify
      {"00 01 00 F8", 0xF9, 126},  // setup record
      {"00 01 00 E1", 0xD1, 126},  // records 1..15
      {"00 01 00 E2", 0xD2, 126},
      {"00 01 00 E3", 0xD3, 126},
      {"00 01 00 EF", 0xDF, 126},
      {"00 01 00 E0", std::nullopt},  // record 0 is read with F8 only
      {"00 01 00 F0", std::nullopt},
      {"00 00 00 03 58 33", std::nullopt},  // end of configuration: never answered
      // Answers of other readers and short datagrams are no requests.
      {"00 00 00 F7", std::nullopt},
      {"00 00 00 F9", std::nullopt},
      {"00 00 00 FB", std::nullopt},
      {"00 00 00 D1", std::nullopt},
      {"", std::nullopt},
      {"F8", std::nullopt},
      {"00 01 F8", std::nullopt},
      // A write without the setup fields writes nothing and gets no answer.
      {"00 00 00 FD 01 02 03", std::nullopt},
      {"00 01 00 C1", std::nullopt},
  };
  for (const Case &c : cases) {
    LanRecords records(FixedReader(), "KV-LAN Reader");
    const LanAnswer answer = Ask(records, Hex(c.request));
    SCOPED_TRACE(c.request);
    if (!c.code) {
      EXPECT_TRUE(answer.reply.empty()) << ToHex(answer.reply);
      EXPECT_EQ(records.Record(0), LanRecords(FixedReader(), "KV-LAN Reader").Record(0));
      continue;
    }
    ASSERT_EQ(answer.reply.size(), 4 + c.payload);
    EXPECT_EQ(ToHex(answer.reply.data(), 4), ToHex(Bytes{0, 0, 0, *c.code}));
    EXPECT_FALSE(answer.settings_changed);
    EXPECT_FALSE(answer.end_of_configuration);
  }
}

TEST(SimLanDatagramTest, IdentifyCarriesTheIdentifierAndUloOnlyForTheExtendedAssignment) {
  LanRecords records(FixedReader(), "KV-LAN Reader");
  const Bytes extended = Payload(Ask(records, Hex("00 01 00 F6"), true));
  EXPECT_EQ(Text(extended, 11, 3), "ULO");
  EXPECT_EQ(ToHex(extended.data() + 20, 6), "02 4B 56 00 00 01");
  const Bytes simple = Payload(Ask(records, Hex("00 01 00 F6"), false));
  EXPECT_NE(Text(simple, 11, 3), "ULO");
  EXPECT_EQ(ToHex(simple.data() + 20, 6), "02 4B 56 00 00 01");
}

TEST(SimLanDatagramTest, SetupRecordHoldsAddressMaskGatewayPortAndNameHalves) {
  struct Case {
    LanSettings settings;
    const char *address, *host_bits, *gateway, *port;
    std::string head, tail, record3_tail;  // bytes 112..119, 84..91; record 3's 102..109
  };
  LanSettings dhcp;
  dhcp.name = "NORTHGATE1";
  LanSettings fixed = FixedReader();
  fixed.port = 10002;
  fixed.host_bits = 9;
  LanSettings full = FixedReader();
  full.name = "ABCDEFGHIJKLMNOPQRS";  // cut to 16
  LanSettings short_name = FixedReader();
  short_name.name = "ABC";
  const std::string zeros(8, '\0');
  const Case cases[] = {
      {dhcp, "00 00 00 00", "08", "00 00 00 00", "11 27", "NORTHGAT",
       std::string("E1") + std::string(6, '\0'), std::string("E1") + std::string(6, '\0')},
      {fixed, "C0 A8 01 32", "09", "C0 A8 01 FE", "12 27", "LOBBYDOO",
       std::string("R7") + std::string(6, '\0'), std::string("R7") + std::string(6, '\0')},
      {full, "C0 A8 01 32", "08", "C0 A8 01 FE", "11 27", "ABCDEFGH", "IJKLMNOP", "IJKLMNOP"},
      {short_name, "C0 A8 01 32", "08", "C0 A8 01 FE", "11 27",
       std::string("ABC") + std::string(5, '\0'), zeros, zeros},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.settings.name);
    LanRecords records(c.settings, "KV-LAN Reader");
    const Bytes record = Payload(Ask(records, Hex("00 01 00 F8")));
    ASSERT_EQ(record.size(), 126u);
    EXPECT_EQ(ToHex(record.data(), 4), c.address);
    EXPECT_EQ(ToHex(record.data() + 6, 1), c.host_bits);
    EXPECT_EQ(ToHex(record.data() + 12, 4), c.gateway);
    EXPECT_EQ(ToHex(record.data() + 20, 2), c.port);
    EXPECT_EQ(Text(record, 112, 8), c.head);
    EXPECT_EQ(Text(record, 84, 8), c.tail);
    const Bytes record3 = Payload(Ask(records, Hex("00 01 00 E3")));
    EXPECT_EQ(Text(record3, 102, 8), c.record3_tail);
    // What the record holds is what the reader runs with.
    LanSettings expected = c.settings;
    expected.name = expected.name.substr(0, 16);
    EXPECT_EQ(records.Settings(), expected);
  }
}

TEST(SimLanDatagramTest, RecordTwoNamesTheProduct) {
  for (const std::string product : {"KV-LAN Reader", "Foreign Box 3000"}) {
    LanRecords records(FixedReader(), product);
    const Bytes record = Payload(Ask(records, Hex("00 01 00 E2")));
    ASSERT_EQ(record.size(), 126u);
    EXPECT_EQ(Text(record, 93, product.size() + 1), product + '\0');
  }
}

TEST(SimLanDatagramTest, WrittenRecordsReadBackAndKeepTheirSize) {
  LanRecords records(FixedReader(), "KV-LAN Reader");
  // Record 0 as a host patches it: port 10005, everything else as read.
  Bytes setup = Payload(Ask(records, Hex("00 01 00 F8")));
  setup[20] = 0x15;
  Bytes write = Hex("00 00 00 FD");
  write.insert(write.end(), setup.begin(), setup.end());
  const LanAnswer written = Ask(records, write);
  EXPECT_EQ(ToHex(written.reply), "00 00 00 FB");
  EXPECT_FALSE(written.settings_changed);  // a write takes effect at the end of configuration
  EXPECT_EQ(Payload(Ask(records, Hex("00 01 00 F8"))), setup);
  EXPECT_EQ(records.Settings().port, 10005);

  // Record 5: 130 bytes sent, the first 126 taken.
  Bytes five(130);
  for (size_t i = 0; i < five.size(); ++i) five[i] = static_cast<uint8_t>(i * 3);
  Bytes write5 = Hex("00 01 00 C5");
  write5.insert(write5.end(), five.begin(), five.end());
  EXPECT_EQ(ToHex(Ask(records, write5).reply), "00 00 00 B5");
  EXPECT_EQ(Payload(Ask(records, Hex("00 01 00 E5"))), Bytes(five.begin(), five.begin() + 126));

  // 119 bytes miss the setup fields' end: refused, nothing written.
  Bytes short_write = Hex("00 00 00 FD");
  short_write.resize(4 + 119, 0xEE);
  EXPECT_TRUE(Ask(records, short_write).reply.empty());
  EXPECT_EQ(Payload(Ask(records, Hex("00 01 00 F8"))), setup);
}

TEST(SimLanDatagramTest, AddressAssignmentsChangeOnlyThisReadersSettings) {
  struct Case {
    const char *what;
    Bytes datagram;
    bool extended_reader;
    std::optional<LanSettings> after;  // nothing: ignored
  };
  LanSettings moved = FixedReader();
  moved.address = {10, 231, 0, 7};
  moved.port = 10002;
  moved.host_bits = 9;
  moved.gateway = {10, 231, 0, 254};
  moved.name = "MOVED";
  LanSettings kept = FixedReader();  // port 0, mask 0.0.0.0 and no name keep; the gateway clears
  kept.address = {10, 231, 0, 8};
  kept.gateway = {};
  LanSettings to_dhcp = FixedReader();
  to_dhcp.address = {};
  LanSettings simple = FixedReader();
  simple.address = {10, 231, 0, 9};
  const std::string id = "02 4B 56 00 00 01";
  const Case cases[] = {
      {"extended", Extended(id, "0A E7 00 07 12 27 FF FF FE 00 0A E7 00 FE", "MOVED"), true, moved},
      {"extended keeps", Extended(id, "0A E7 00 08 00 00 00 00 00 00 00 00 00 00", ""), true, kept},
      {"extended to DHCP", Extended(id, "00 00 00 00 00 00 00 00 00 00 C0 A8 01 FE", ""), true,
       to_dhcp},
      {"extended, other reader",
       Extended("02 4B 56 00 00 02", "0A E7 00 07 12 27 FF FF FE 00 0A E7 00 FE", "MOVED"), true,
       std::nullopt},
      {"extended to a reader without it",
       Extended(id, "0A E7 00 07 12 27 FF FF FE 00 0A E7 00 FE", "MOVED"), false, std::nullopt},
      {"extended, cut short", Assignment("EX", id + " 0A E7 00 07"), true, std::nullopt},
      {"simple", Assignment(std::string(2, '\0'), "00 01 0A E7 00 09"), false, simple},
      {"simple, extended reader", Assignment(std::string(2, '\0'), "00 01 0A E7 00 09"), true,
       simple},
      {"simple, other reader", Assignment(std::string(2, '\0'), "00 02 0A E7 00 09"), true,
       std::nullopt},
      {"simple to broadcast", Assignment(std::string(2, '\0'), "00 01 FF FF FF FF"), true,
       std::nullopt},
      {"simple to loopback", Assignment(std::string(2, '\0'), "00 01 7F 00 00 01"), true,
       std::nullopt},
      {"simple to multicast", Assignment(std::string(2, '\0'), "00 01 E0 00 00 01"), true,
       std::nullopt},
      {"unknown mark", Assignment("XX", "00 01 0A E7 00 09"), true, std::nullopt},
      {"same settings", Assignment(std::string(2, '\0'), "00 01 C0 A8 01 32"), true, std::nullopt},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    LanRecords records(FixedReader(), "KV-LAN Reader");
    const Bytes before = records.Record(0);
    const LanAnswer answer = Ask(records, c.datagram, c.extended_reader);
    EXPECT_TRUE(answer.reply.empty());  // assignments are never answered
    EXPECT_EQ(answer.settings_changed, c.after.has_value());
    EXPECT_EQ(records.Settings(), c.after.value_or(FixedReader()));
    if (!c.after) {
      EXPECT_EQ(records.Record(0), before);
    }
  }
}

TEST(SimLanDatagramTest, EndOfConfigurationNeedsItsTwoCharacters) {
  LanRecords records(FixedReader(), "KV-LAN Reader");
  EXPECT_TRUE(Ask(records, Hex("00 00 00 03 58 33")).end_of_configuration);
  EXPECT_FALSE(Ask(records, Hex("00 00 00 03 58")).end_of_configuration);
  EXPECT_FALSE(Ask(records, Hex("00 00 00 03 33 58")).end_of_configuration);
}

TEST(SimLanDatagramTest, MaskAndHostBitsConvertBothWays) {
  struct Case {
    Ipv4 mask;
    uint8_t host_bits;
  };
  const Case cases[] = {{{255, 255, 255, 0}, 8},
                        {{255, 255, 254, 0}, 9},
                        {{255, 255, 255, 255}, 0},
                        {{0, 0, 0, 0}, 32},
                        {{255, 255, 255, 252}, 2}};
  for (const Case &c : cases) {
    EXPECT_EQ(kovra_sim::HostBitsOfMask(c.mask), c.host_bits) << kovra_sim::DottedAddress(c.mask);
    EXPECT_EQ(kovra_sim::MaskOfHostBits(c.host_bits), c.mask) << int{c.host_bits};
  }
}

}  // namespace
