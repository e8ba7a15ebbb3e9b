// The maker's USB identities: which USB devices are our readers, and which names are theirs.
#include "transport/usb_ids.h"

#include <array>

namespace kovra {
namespace {

// Three vendor IDs: one with a single product, one with five, one with a single product.
constexpr std::array<UsbId, 7> kHidReaders{{
    {0x2E3B, 0x0001},
    {0x2E3C, 0x0101},
    {0x2E3C, 0x0102},
    {0x2E3C, 0x0103},
    {0x2E3C, 0x0104},
    {0x2E3C, 0x0105},
    {0x2E3D, 0x0200},
}};

// Five ranges and two single numbers: 152 article numbers in all.
struct ArticleRange {
  int first;
  int last;
};
constexpr std::array<ArticleRange, 7> kArticleNumbers{{
    {3100, 3129},
    {3200, 3239},
    {3300, 3329},
    {4100, 4119},
    {4500, 4529},
    {5001, 5001},
    {5002, 5002},
}};

}  // namespace

std::span<const UsbId> HidReaderIds() {
  return kHidReaders;
}

bool IsHidReaderId(uint16_t vendor_id, uint16_t product_id) {
  for (const UsbId &pair : kHidReaders) {
    if (pair.vendor_id == vendor_id && pair.product_id == product_id) return true;
  }
  return false;
}

bool StartsWithArticleNumber(std::string_view name) {
  const std::string_view digits = name.substr(0, 4);
  if (digits.empty()) return false;
  int number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  for (const ArticleRange &range : kArticleNumbers) {
    if (number >= range.first && number <= range.last) return true;
  }
  return false;
}

int ArticleNumberCount() {
  int count = 0;
  for (const ArticleRange &range : kArticleNumbers) count += range.last - range.first + 1;
  return count;
}

}  // namespace kovra
