// The report lengths of a HID reader, from its report descriptor.
#include "transport/hid/hid_descriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace kovra {
namespace {

// Item types and tags of the short items that matter for report sizes.
constexpr uint8_t kTypeMain = 0;
constexpr uint8_t kTypeGlobal = 1;
constexpr uint8_t kTagInput = 8;
constexpr uint8_t kTagOutput = 9;
constexpr uint8_t kTagReportSize = 7;
constexpr uint8_t kTagReportId = 8;
constexpr uint8_t kTagReportCount = 9;
constexpr uint8_t kTagPush = 10;
constexpr uint8_t kTagPop = 11;
constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr size_t kMaxPushDepth = 16;
// A report this long is far beyond any device; sums stop growing here, so no count overflows.
constexpr uint64_t kBitLimit = uint64_t{1} << 32;

struct Globals {
  uint32_t report_size = 0;
  uint32_t report_count = 0;
  uint8_t report_id = 0;
};

uint32_t ItemValue(const uint8_t *data, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i) value |= static_cast<uint32_t>(data[i]) << (8 * i);
  return value;
}

size_t LengthOf(const std::map<uint8_t, uint64_t> &bits) {
  uint64_t longest = 0;
  for (const auto &[id, count] : bits) longest = std::max(longest, count);
  return static_cast<size_t>((longest + 7) / 8) + 1;
}

}  // namespace

std::optional<HidReportLayout> ParseReportDescriptor(const uint8_t *bytes, size_t count) {
  Globals globals;
  std::vector<Globals> stack;
  std::map<uint8_t, uint64_t> input_bits;
  std::map<uint8_t, uint64_t> output_bits;
  HidReportLayout layout;
  bool output_id_known = false;

  size_t at = 0;
  while (at < count) {
    const uint8_t prefix = bytes[at];
    if (prefix == kLongItemPrefix) {
      if (count - at < 3) return std::nullopt;
      const size_t data_size = bytes[at + 1];
      if (count - at - 3 < data_size) return std::nullopt;
      at += 3 + data_size;  // long items carry nothing about sizes
      continue;
    }
    const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
    if (count - at - 1 < size) return std::nullopt;
    const uint8_t type = (prefix >> 2) & 3;
    const uint8_t tag = prefix >> 4;
    const uint32_t value = ItemValue(bytes + at + 1, size);
    at += 1 + size;

    if (type == kTypeGlobal) {
      switch (tag) {
        case kTagReportSize:
          globals.report_size = value;
          break;
        case kTagReportCount:
          globals.report_count = value;
          break;
        case kTagReportId:
          globals.report_id = static_cast<uint8_t>(value);
          layout.numbered = true;
          break;
        case kTagPush:
          if (stack.size() < kMaxPushDepth) stack.push_back(globals);
          break;
        case kTagPop:
          if (!stack.empty()) {
            globals = stack.back();
            stack.pop_back();
          }
          break;
        default:
          break;
      }
    } else if (type == kTypeMain && (tag == kTagInput || tag == kTagOutput)) {
      auto &bits = tag == kTagInput ? input_bits : output_bits;
      const uint64_t added = uint64_t{globals.report_size} * globals.report_count;
      uint64_t &sum = bits[globals.report_id];
      sum = std::min(kBitLimit, sum + std::min(kBitLimit, added));
      if (tag == kTagOutput && !output_id_known) {
        layout.output_report_id = globals.report_id;
        output_id_known = true;
      }
    }
  }
  layout.input_length = LengthOf(input_bits);
  layout.output_length = LengthOf(output_bits);
  return layout;
}

std::optional<std::vector<uint8_t>> SysfsReportDescriptor(std::string_view sysfs_root,
                                                          std::string_view device_path) {
  constexpr std::string_view kPrefix = "/dev/";
  if (device_path.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  const std::string_view node = device_path.substr(kPrefix.size());
  constexpr std::string_view kHidraw = "hidraw";
  if (node.size() <= kHidraw.size() || node.substr(0, kHidraw.size()) != kHidraw ||
      !std::all_of(node.begin() + kHidraw.size(), node.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const std::string file =
      std::string(sysfs_root) + "/class/hidraw/" + std::string(node) + "/device/report_descriptor";
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<uint8_t> descriptor(kMaxReportDescriptorSize);
  size_t filled = 0;
  for (;;) {
    const ssize_t got = ::read(fd, descriptor.data() + filled, descriptor.size() - filled);
    if (got <= 0) {
      ::close(fd);
      if (got < 0) return std::nullopt;
      break;
    }
    filled += static_cast<size_t>(got);
    if (filled == descriptor.size()) {
      ::close(fd);
      break;
    }
  }
  descriptor.resize(filled);
  return descriptor;
}

}  // namespace kovra
