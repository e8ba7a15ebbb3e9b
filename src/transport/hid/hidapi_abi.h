// The part of hidapi's binary interface the HID transport uses, declared here because the library
// is loaded with dlopen and never linked. The device record's layout is the same in hidapi 0.10
// to 0.14 up to `next` (later versions append fields after it, which are never read here).
#pragma once

#include <cstddef>
#include <cwchar>

extern "C" {

struct hid_device_;
typedef struct hid_device_ hid_device;

struct hid_device_info {
  char *path;
  unsigned short vendor_id;
  unsigned short product_id;
  wchar_t *serial_number;
  unsigned short release_number;
  wchar_t *manufacturer_string;
  wchar_t *product_string;
  unsigned short usage_page;
  unsigned short usage;
  int interface_number;
  struct hid_device_info *next;
};

}  // extern "C"

namespace kovra::hidapi {

using InitFn = int (*)();
using ExitFn = int (*)();
using EnumerateFn = hid_device_info *(*)(unsigned short vendor_id, unsigned short product_id);
using FreeEnumerationFn = void (*)(hid_device_info *devices);
using OpenPathFn = hid_device *(*)(const char *path);
using WriteFn = int (*)(hid_device *device, const unsigned char *data, size_t length);
using ReadTimeoutFn = int (*)(hid_device *device, unsigned char *data, size_t length,
                              int milliseconds);
using CloseFn = void (*)(hid_device *device);
using ErrorFn = const wchar_t *(*)(hid_device *device);
// hidapi 0.14 and later only.
using GetReportDescriptorFn = int (*)(hid_device *device, unsigned char *buffer, size_t size);

}  // namespace kovra::hidapi
