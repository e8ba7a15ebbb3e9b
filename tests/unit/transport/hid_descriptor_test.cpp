// Report lengths read out of report descriptors, and the descriptor found in sysfs.
#include "transport/hid/hid_descriptor.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace kovra {
namespace {

using Bytes = std::vector<uint8_t>;

// A vendor page collection with 8-bit input and output fields of the given counts.
const Bytes kPlain64 = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,
                        0x95, 0x40, 0x81, 0x02, 0x95, 0x40, 0x91, 0x02, 0xC0};

TEST(HidDescriptor, ReportLengthsComeFromTheLongestReportOfEachDirection) {
  struct Case {
    const char *what;
    Bytes descriptor;
    size_t input;
    size_t output;
    bool numbered;
    uint8_t output_id;
  };
  const Case cases[] = {
      {"64-byte reports", kPlain64, 65, 65, false, 0},
      {"numbered, two input reports, output report 2",
       {0x75, 0x08, 0x85, 0x01, 0x95, 0x08, 0x81, 0x02, 0x85, 0x02, 0x95, 0x20, 0x81, 0x02, 0x95,
        0x10, 0x91, 0x02},
       33,
       17,
       true,
       2},
      {"bit fields are rounded up", {0x75, 0x01, 0x95, 0x0C, 0x81, 0x02}, 3, 1, false, 0},
      {"push and pop keep the sizes",
       {0x75, 0x08, 0x95, 0x08, 0xA4, 0x95, 0x02, 0x91, 0x02, 0xB4, 0x81, 0x02},
       9,
       3,
       false,
       0},
      {"a long item is skipped",
       {0xFE, 0x02, 0x00, 0xAA, 0xBB, 0x75, 0x08, 0x95, 0x08, 0x91, 0x02},
       1,
       9,
       false,
       0},
      {"absurd sizes do not wrap around",
       {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0x81, 0x02},
       536870913,
       1,
       false,
       0},
      {"nothing", {}, 1, 1, false, 0},
  };
  for (const Case &c : cases) {
    const auto layout = ParseReportDescriptor(c.descriptor.data(), c.descriptor.size());
    ASSERT_TRUE(layout) << c.what;
    EXPECT_EQ(layout->input_length, c.input) << c.what;
    EXPECT_EQ(layout->output_length, c.output) << c.what;
    EXPECT_EQ(layout->numbered, c.numbered) << c.what;
    EXPECT_EQ(layout->output_report_id, c.output_id) << c.what;
  }
  for (const Bytes &cut : {Bytes{0x95}, Bytes{0x75, 0x08, 0x97, 0x01}, Bytes{0xFE, 0x05, 0x00}}) {
    EXPECT_FALSE(ParseReportDescriptor(cut.data(), cut.size()));
  }
}

TEST(HidDescriptor, SysfsHoldsTheDescriptorOfHidrawNodesOnly) {
  char pattern[] = "/tmp/kovra-sysfs-XXXXXX";
  const std::filesystem::path root = mkdtemp(pattern);
  std::filesystem::create_directories(root / "class/hidraw/hidraw3/device");
  std::ofstream(root / "class/hidraw/hidraw3/device/report_descriptor", std::ios::binary)
      .write(reinterpret_cast<const char *>(kPlain64.data()), kPlain64.size());

  EXPECT_EQ(SysfsReportDescriptor(root.string(), "/dev/hidraw3"), kPlain64);
  for (const char *path : {"/dev/hidraw4", "/dev/hidraw", "/dev/hidraw3x", "/dev/../hidraw3",
                           "fake:0", "/dev/hidraw3/../../etc"}) {
    EXPECT_FALSE(SysfsReportDescriptor(root.string(), path)) << path;
  }
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace kovra
