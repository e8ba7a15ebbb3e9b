// What the network reader dialogs make of the library's answers.
#include <gtest/gtest.h>

#include "ui/lan_entries.h"

namespace {

using quillmate::ui::DeviceMark;

TEST(LanEntries, SearchBufferGivesItsEntriesAndNothingPastIt) {
  const char buffer[] = "10.231.1.5-10001\0[NORTHGATE1]10.231.1.7-10001\0\0garbage";
  EXPECT_EQ(quillmate::ui::SearchBufferEntries(buffer, 47),
            (QStringList{"10.231.1.5-10001", "[NORTHGATE1]10.231.1.7-10001"}));
  EXPECT_TRUE(quillmate::ui::SearchBufferEntries("\0", 1).isEmpty());
  // A result that ends inside an entry: the rest is not read.
  EXPECT_EQ(quillmate::ui::SearchBufferEntries(buffer, 5), QStringList{"10.23"});
}

TEST(LanEntries, TheMakersReadersComeFirstAndDhcpReadersShowTheirAddress) {
  const auto devices = quillmate::ui::MergeSearchResults(
      {"10.231.1.5-10001", "[NORTHGATE1]"},
      {"10.231.1.5-10001", "[northgate1]10.231.1.7-10001", "10.231.1.9-4001"});
  ASSERT_EQ(devices.size(), 3);
  EXPECT_EQ(devices[0].text, "10.231.1.5-10001");
  EXPECT_EQ(devices[0].mark, DeviceMark::kMakersReader);
  EXPECT_EQ(devices[1].text, "[northgate1]10.231.1.7-10001");
  EXPECT_EQ(devices[1].mark, DeviceMark::kMakersReader);
  EXPECT_EQ(devices[2].text, "10.231.1.9-4001");
  EXPECT_EQ(devices[2].mark, DeviceMark::kOtherDevice);
}

TEST(LanEntries, ReaderSettingsAndTheSpecificationGivenBack) {
  const auto fixed = quillmate::ui::ParseReaderSettings("[LOBBYDOOR7]-4001", "10.231.1.60-4001",
                                                        "255.255.255.0", "10.231.1.1");
  EXPECT_EQ(fixed.mode, 1);
  EXPECT_EQ(fixed.address, "10.231.1.60");
  EXPECT_EQ(fixed.port, 4001);
  EXPECT_EQ(fixed.device_name, "LOBBYDOOR7");
  EXPECT_EQ(quillmate::ui::AddressSpecification(1, fixed.device_name, fixed.address, fixed.port),
            "10.231.1.60-4001");

  const auto dhcp = quillmate::ui::ParseReaderSettings("[ABC]-10002", "", "255.255.0.0", "");
  EXPECT_EQ(dhcp.mode, 0);
  EXPECT_EQ(dhcp.port, 10002);
  EXPECT_EQ(dhcp.device_name, "ABC");
  EXPECT_EQ(quillmate::ui::AddressSpecification(0, "ABC", QString(), 10001), "[ABC]-10001");

  const auto without_port = quillmate::ui::ParseReaderSettings("PLAIN", "10.231.1.61", "", "");
  EXPECT_EQ(without_port.port, 10001);
  EXPECT_EQ(without_port.device_name, "PLAIN");
}

TEST(LanEntries, UsableAddresses) {
  for (const char *good : {"10.231.1.60", "255.255.255.255", "0.0.0.1"}) {
    EXPECT_TRUE(quillmate::ui::IsUsableAddress(good)) << good;
  }
  for (const char *bad : {"", "0.0.0.0", "10.231.1", "10.231.1.256", "10..1.2", "1.2.3.4.5",
                          "a.b.c.d", "1000.1.1.1"}) {
    EXPECT_FALSE(quillmate::ui::IsUsableAddress(bad)) << bad;
  }
}

}  // namespace
