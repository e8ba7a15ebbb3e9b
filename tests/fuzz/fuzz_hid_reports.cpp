// Input reports from a HID reader: any bytes a device sends. The first byte picks the report
// layout (input length 4..65, numbered or not), the second the size of the caller's buffer; the
// rest is a series of reports, each a length byte and that many bytes. The byte stream taken back
// out must be exactly the payload each report promises and holds, and no read may go beyond the
// caller's buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "transport/hid/hid_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  kovra::HidReportLayout layout;
  layout.input_length = 4 + data[0] % 62;
  layout.numbered = (data[0] & 0x80) != 0;
  const size_t max = 1 + data[1] % 100;
  kovra::HidInputQueue queue(layout);

  std::vector<uint8_t> expected;
  std::vector<uint8_t> taken;
  std::vector<uint8_t> buffer(max);
  const size_t header = layout.numbered ? 1 : 0;
  const size_t whole = layout.numbered ? layout.input_length : layout.input_length - 1;
  for (size_t at = 2; at < size;) {
    const size_t length = std::min<size_t>(data[at], size - at - 1);
    const uint8_t *report = data + at + 1;
    at += 1 + length;
    queue.AddReport(report, length);
    if (length >= whole && length > header) {
      const size_t n = std::min<size_t>(report[header], length - header - 1);
      expected.insert(expected.end(), report + header + 1, report + header + 1 + n);
    }
    const size_t got = queue.Take(buffer.data(), max);
    if (got > max) std::abort();
    taken.insert(taken.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
  }
  while (const size_t got = queue.Take(buffer.data(), max)) {
    taken.insert(taken.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
  }
  if (taken != expected) std::abort();
  return 0;
}
