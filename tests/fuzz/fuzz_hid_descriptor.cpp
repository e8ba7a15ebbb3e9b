// Report descriptors: whatever a device (or sysfs) hands over. The parse must end, and a layout
// it gives must be one the supported-layout check can judge: lengths of at least the report ID
// byte, and an output report ID only where reports are numbered.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transport/hid/hid_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const auto layout = kovra::ParseReportDescriptor(data, size);
  if (!layout) return 0;
  if (layout->input_length < 1 || layout->output_length < 1) std::abort();
  if (!layout->numbered && layout->output_report_id != 0) std::abort();
  if (kovra::IsSupportedLayout(*layout) && (layout->input_length > kovra::kMaxHidReportLength ||
                                            layout->output_length < kovra::kMinHidReportLength)) {
    std::abort();
  }
  return 0;
}
