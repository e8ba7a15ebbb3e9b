// Reader bytes in HID reports: chunking into output reports, the control report, and the byte
// stream taken back out of input reports.
#include "transport/hid/hid_report.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace kovra {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(HidReport, AFrameGoesOutInPaddedReportsOfTheOutputLength) {
  Bytes frame(20);
  std::iota(frame.begin(), frame.end(), uint8_t{1});
  const auto reports = OutputReports(HidReportLayout{}, frame.data(), frame.size());
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0], (Bytes{0, 7, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(reports[1], (Bytes{0, 7, 8, 9, 10, 11, 12, 13, 14}));
  EXPECT_EQ(reports[2], (Bytes{0, 6, 15, 16, 17, 18, 19, 20, 0}));
  EXPECT_TRUE(OutputReports(HidReportLayout{}, frame.data(), 0).empty());

  HidReportLayout numbered;
  numbered.output_length = 65;
  numbered.numbered = true;
  numbered.output_report_id = 5;
  const auto big = OutputReports(numbered, frame.data(), frame.size());
  ASSERT_EQ(big.size(), 1u);
  EXPECT_EQ(big[0].size(), 65u);
  EXPECT_EQ(big[0][0], 5);
  EXPECT_EQ(ControlReport(numbered, 1)[0], 5);
  EXPECT_EQ(ControlReport(HidReportLayout{}, 0), (Bytes{0, 0x82, 0x10, 0, 0, 0, 0, 0, 0}));
}

TEST(HidReport, InputReportsGiveTheirPayloadAndNothingIsLostToASmallBuffer) {
  struct Case {
    const char *what;
    HidReportLayout layout;
    Bytes report;  // as hidapi hands it over
    Bytes payload;
  };
  HidReportLayout numbered;
  numbered.numbered = true;
  const Case cases[] = {
      {"unnumbered: no ID byte", {}, {3, 0xA, 0xB, 0xC, 0, 0, 0, 0}, {0xA, 0xB, 0xC}},
      {"count beyond the report", {}, {10, 1, 2, 3, 4, 5, 6, 7}, {1, 2, 3, 4, 5, 6, 7}},
      {"shorter than the input report", {}, {2, 1, 2}, {}},
      {"numbered: ID byte first", numbered, {1, 2, 0xA, 0xB, 0, 0, 0, 0, 0}, {0xA, 0xB}},
      {"numbered, count 10 in 9 bytes",
       numbered,
       {1, 10, 1, 2, 3, 4, 5, 6, 7},
       {1, 2, 3, 4, 5, 6, 7}},
      {"empty", {}, {}, {}},
  };
  for (const Case &c : cases) {
    HidInputQueue queue(c.layout);
    queue.AddReport(c.report.data(), c.report.size());
    Bytes got;
    uint8_t small[2];
    while (const size_t n = queue.Take(small, sizeof small))
      got.insert(got.end(), small, small + n);
    EXPECT_EQ(got, c.payload) << c.what;
  }
}

TEST(HidReport, OnlyLengthsThatHoldTheControlReportAndFit65AreSupported) {
  for (const auto &[input, output, supported] : {std::tuple{9, 9, true},
                                                 {4, 4, true},
                                                 {65, 65, true},
                                                 {3, 9, false},
                                                 {9, 1, false},
                                                 {66, 9, false},
                                                 {9, 1000, false}}) {
    HidReportLayout layout;
    layout.input_length = static_cast<size_t>(input);
    layout.output_length = static_cast<size_t>(output);
    EXPECT_EQ(IsSupportedLayout(layout), supported) << input << "/" << output;
  }
}

}  // namespace
}  // namespace kovra
