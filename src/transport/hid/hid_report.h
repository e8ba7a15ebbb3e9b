// How reader bytes travel in HID reports, in both directions. No I/O here.
//
// A report carries: the report ID (0 on our readers), the number of payload bytes n, the n payload
// bytes, zeros up to the report's length. Lengths count the report ID byte, as the device's
// report descriptor sizes plus one; a reader's reports are at most 65 bytes long.
//
// hidapi on Linux (hidraw) hands over the input reports of a device that does not number its
// reports WITHOUT the report-ID byte, and those of a numbering device with it. Output reports
// always start with the report-ID byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace kovra {

struct HidReportLayout {
  size_t input_length = 9;   // bytes of an input report, report ID included
  size_t output_length = 9;  // bytes of an output report, report ID included
  bool numbered = false;     // the device numbers its reports (its descriptor has Report IDs)
  uint8_t output_report_id = 0;
};

// The longest report a reader may have, and the shortest that holds the control report (ID and
// three bytes).
inline constexpr size_t kMaxHidReportLength = 65;
inline constexpr size_t kMinHidReportLength = 4;

// True when both report lengths lie within kMinHidReportLength..kMaxHidReportLength. A device
// outside that range is not one of our readers and is skipped.
bool IsSupportedLayout(const HidReportLayout &layout);

// The output reports that carry `count` bytes: output_length - 2 payload bytes each, the last one
// with what is left; none for count 0. A 20-byte frame with 9-byte reports goes out as three
// reports with 7, 7 and 6 payload bytes. The layout must be supported.
std::vector<std::vector<uint8_t>> OutputReports(const HidReportLayout &layout, const uint8_t *bytes,
                                                size_t count);

// The control report: report ID, 0x82, 0x10, value, zeros up to the output length. Value 0 starts
// the reader's HID link after opening, 1 stops it before closing. The layout must be supported.
std::vector<uint8_t> ControlReport(const HidReportLayout &layout, uint8_t value);

// Turns input reports back into the reader's byte stream.
class HidInputQueue {
 public:
  explicit HidInputQueue(const HidReportLayout &layout) : layout_(layout) {}

  // Bytes a read of one input report asks hidapi for: enough for the longest report.
  static constexpr size_t kReadSize = kMaxHidReportLength;

  // Takes one input report as hidapi returned it (`received` bytes). A report shorter than the
  // device's input report is dropped whole; otherwise its payload is queued: n bytes, or as many
  // as the report holds after its count byte when n says more (a count of 10 in a 9-byte report
  // gives 7 bytes).
  void AddReport(const uint8_t *report, size_t received);

  // Moves up to `max` queued bytes into `buffer`; returns how many. Bytes that do not fit stay
  // queued for the next call, so a small buffer loses nothing.
  size_t Take(uint8_t *buffer, size_t max);

  size_t Queued() const { return queued_.size(); }
  void Clear() { queued_.clear(); }

 private:
  HidReportLayout layout_;
  std::deque<uint8_t> queued_;
};

}  // namespace kovra
