// hidapi (hidraw backend) loaded at run time with dlopen, so the library starts and works on a
// machine without it.
#include "transport/hid/hidapi_binding.h"

#include <dlfcn.h>

#include <cstdio>

#include "reader/frame_log.h"
#include "transport/vendor_library.h"

namespace kovra {
namespace {

constexpr const char *kDefaultLibrary = "libhidapi-hidraw.so.0";

template <typename Fn>
Fn Lookup(void *library, const char *name) {
  return reinterpret_cast<Fn>(::dlsym(library, name));
}

}  // namespace

bool HidApi::Load(const char *file) {
  Unload();
  problem_.clear();
  library_ = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    const char *why = ::dlerror();
    problem_ = std::string("cannot load ") + file + (why != nullptr ? std::string(": ") + why : "");
    return false;
  }
  const auto init = Lookup<hidapi::InitFn>(library_, "hid_init");
  enumerate = Lookup<hidapi::EnumerateFn>(library_, "hid_enumerate");
  free_enumeration = Lookup<hidapi::FreeEnumerationFn>(library_, "hid_free_enumeration");
  open_path = Lookup<hidapi::OpenPathFn>(library_, "hid_open_path");
  write = Lookup<hidapi::WriteFn>(library_, "hid_write");
  read_timeout = Lookup<hidapi::ReadTimeoutFn>(library_, "hid_read_timeout");
  close = Lookup<hidapi::CloseFn>(library_, "hid_close");
  error = Lookup<hidapi::ErrorFn>(library_, "hid_error");
  get_report_descriptor =
      Lookup<hidapi::GetReportDescriptorFn>(library_, "hid_get_report_descriptor");
  exit_ = Lookup<hidapi::ExitFn>(library_, "hid_exit");

  const struct {
    const char *name;
    bool found;
  } required[] = {{"hid_init", init != nullptr},
                  {"hid_enumerate", enumerate != nullptr},
                  {"hid_free_enumeration", free_enumeration != nullptr},
                  {"hid_open_path", open_path != nullptr},
                  {"hid_write", write != nullptr},
                  {"hid_read_timeout", read_timeout != nullptr},
                  {"hid_close", close != nullptr}};
  for (const auto &function : required) {
    if (function.found) continue;
    problem_ = std::string(file) + " has no " + function.name;
    Unload();
    return false;
  }
  if (init() != 0) {
    problem_ = std::string(file) + ": hid_init failed";
    exit_ = nullptr;  // nothing to end
    Unload();
    return false;
  }
  available_ = true;
  return true;
}

void HidApi::Unload() {
  if (available_ && exit_ != nullptr) exit_();
  if (library_ != nullptr) ::dlclose(library_);
  library_ = nullptr;
  Forget();
}

void HidApi::Forget() {
  available_ = false;
  enumerate = nullptr;
  free_enumeration = nullptr;
  open_path = nullptr;
  write = nullptr;
  read_timeout = nullptr;
  close = nullptr;
  error = nullptr;
  get_report_descriptor = nullptr;
  exit_ = nullptr;
}

HidApi &HidApi::Process() {
  static HidApi *const api = [] {
    auto *loaded = new HidApi;
    const char *file = VendorLibraryFile("KOVRA_HIDAPI_LIBRARY", kDefaultLibrary);
    if (!loaded->Load(file) && FrameLogEnabled()) {
      std::fprintf(stderr, "kovra: HID readers are not available: %s\n", loaded->Problem().c_str());
    }
    return loaded;
  }();
  return *api;
}

}  // namespace kovra
