// How reader bytes travel in HID reports, in both directions.
#include "transport/hid/hid_report.h"

#include <algorithm>

namespace kovra {

bool IsSupportedLayout(const HidReportLayout &layout) {
  auto fits = [](size_t length) {
    return length >= kMinHidReportLength && length <= kMaxHidReportLength;
  };
  return fits(layout.input_length) && fits(layout.output_length);
}

std::vector<std::vector<uint8_t>> OutputReports(const HidReportLayout &layout, const uint8_t *bytes,
                                                size_t count) {
  std::vector<std::vector<uint8_t>> reports;
  const size_t chunk = layout.output_length - 2;
  for (size_t offset = 0; offset < count; offset += chunk) {
    const size_t n = std::min(chunk, count - offset);
    std::vector<uint8_t> report(layout.output_length, 0);
    report[0] = layout.output_report_id;
    report[1] = static_cast<uint8_t>(n);
    std::copy(bytes + offset, bytes + offset + n, report.begin() + 2);
    reports.push_back(std::move(report));
  }
  return reports;
}

std::vector<uint8_t> ControlReport(const HidReportLayout &layout, uint8_t value) {
  std::vector<uint8_t> report(layout.output_length, 0);
  report[0] = layout.output_report_id;
  report[1] = 0x82;
  report[2] = 0x10;
  report[3] = value;
  return report;
}

void HidInputQueue::AddReport(const uint8_t *report, size_t received) {
  // Without report numbers the kernel leaves the ID byte out, so the count byte comes first.
  const size_t header = layout_.numbered ? 1 : 0;
  const size_t expected = layout_.numbered ? layout_.input_length : layout_.input_length - 1;
  if (report == nullptr || received < expected || received < header + 1) return;
  const size_t available = received - header - 1;
  const size_t n = std::min<size_t>(report[header], available);
  queued_.insert(queued_.end(), report + header + 1, report + header + 1 + n);
}

size_t HidInputQueue::Take(uint8_t *buffer, size_t max) {
  const size_t n = std::min(max, queued_.size());
  std::copy_n(queued_.begin(), n, buffer);
  queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(n));
  return n;
}

}  // namespace kovra
