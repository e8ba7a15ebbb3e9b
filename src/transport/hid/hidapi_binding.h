// hidapi (hidraw backend) loaded at run time with dlopen, so the library starts and works on a
// machine without it: HID readers are then simply missing.
//
// The library file is $KOVRA_HIDAPI_LIBRARY when that is set and not empty (a path or a soname,
// for tests and unusual installs), else "libhidapi-hidraw.so.0". Setting KOVRA_FRAME_TRACE=1 prints
// on stderr why HID is not available.
#pragma once

#include <string>

#include "transport/hid/hidapi_abi.h"

namespace kovra {

class HidApi {
 public:
  HidApi() = default;
  ~HidApi() { Unload(); }
  HidApi(const HidApi &) = delete;
  HidApi &operator=(const HidApi &) = delete;

  // Loads `file` (searched as dlopen searches, or a path) and looks up its functions, then calls
  // hid_init. True when HID can be used: the library loaded, hid_init, hid_enumerate,
  // hid_free_enumeration, hid_open_path, hid_write, hid_read_timeout and hid_close were found and
  // hid_init succeeded. hid_exit, hid_error and hid_get_report_descriptor are optional: without
  // them only their own use is skipped. A library already loaded is unloaded first. Problem()
  // then tells why HID is not available (empty when it is).
  bool Load(const char *file);
  // Calls hid_exit, frees the library and forgets every function. Safe to call twice.
  void Unload();
  bool Available() const { return available_; }
  const std::string &Problem() const { return problem_; }

  // The functions; all null unless Available() (the optional ones may stay null).
  hidapi::EnumerateFn enumerate = nullptr;
  hidapi::FreeEnumerationFn free_enumeration = nullptr;
  hidapi::OpenPathFn open_path = nullptr;
  hidapi::WriteFn write = nullptr;
  hidapi::ReadTimeoutFn read_timeout = nullptr;
  hidapi::CloseFn close = nullptr;
  hidapi::ErrorFn error = nullptr;
  hidapi::GetReportDescriptorFn get_report_descriptor = nullptr;

  // The library's binding, loaded on first use from the file named above. Never destroyed: ports
  // still open at process end are closed by the library object's destructor, which may run after
  // static objects are gone.
  static HidApi &Process();

 private:
  void Forget();

  void *library_ = nullptr;
  hidapi::ExitFn exit_ = nullptr;
  bool available_ = false;
  std::string problem_;
};

}  // namespace kovra
