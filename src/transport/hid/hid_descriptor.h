// The report lengths of a HID reader, from its report descriptor. hidapi 0.13 has no capability
// query, so the descriptor comes from sysfs (hidraw) or, with hidapi 0.14 and later, from
// hid_get_report_descriptor, and is read here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/hid/hid_report.h"

namespace kovra {

// The largest descriptor the kernel hands out (HID_MAX_DESCRIPTOR_SIZE).
inline constexpr size_t kMaxReportDescriptorSize = 4096;

// Reads the report lengths out of a report descriptor: for each direction the longest report
// (bits of its Input or Output items, per report ID) in bytes, plus one for the report ID byte;
// a direction without items gets length 1. `numbered` is set when the descriptor declares report
// IDs, `output_report_id` to the ID of the first output report then. Push and Pop are followed
// (nesting up to 16). Nullopt for bytes that are no descriptor: an item cut off at the end.
std::optional<HidReportLayout> ParseReportDescriptor(const uint8_t *bytes, size_t count);

// The report descriptor of a hidraw device path ("/dev/hidraw3") from sysfs below `sysfs_root`
// ("/sys" on a running system): <root>/class/hidraw/hidraw3/device/report_descriptor, at most
// kMaxReportDescriptorSize bytes. Nullopt for another kind of path or when the file cannot be
// read.
std::optional<std::vector<uint8_t>> SysfsReportDescriptor(std::string_view sysfs_root,
                                                          std::string_view device_path);

}  // namespace kovra
