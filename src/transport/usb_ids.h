// The maker's USB identities: which USB devices are our readers, and which names of USB readers
// carry one of our article numbers. Plain tables, no I/O.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kovra {

// The FTDI vendor ID and the product ID of our FTDI-based readers (D2XX, or ftdi_sio as
// /dev/ttyUSB*).
inline constexpr uint16_t kFtdiVendorId = 0x0403;
inline constexpr uint16_t kFtdiReaderProductId = 0xE8C0;

// The second reader family: a CDC ACM virtual COM port (/dev/ttyACM*).
inline constexpr uint16_t kVirtualComVendorId = 0x2E3C;
inline constexpr uint16_t kVirtualComProductId = 0x0110;

struct UsbId {
  uint16_t vendor_id;
  uint16_t product_id;
};

// The vendor and product IDs of our HID readers: three vendors, one with five products.
std::span<const UsbId> HidReaderIds();

// True for a vendor and product ID pair of one of our HID readers.
bool IsHidReaderId(uint16_t vendor_id, uint16_t product_id);

// True when the name's first four characters (the whole name when it is shorter), read as a
// decimal number, are one of our article numbers. A name whose start is not all digits is none.
bool StartsWithArticleNumber(std::string_view name);

// How many article numbers the table holds (for its test).
int ArticleNumberCount();

// Stands in for the serial number of a HID reader that reports none; an article number followed
// by zeros, so such a reader is still listed as one of ours.
inline constexpr std::string_view kHidPlaceholderSerial = "3100-0000000";

}  // namespace kovra
