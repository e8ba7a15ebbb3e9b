// The PC/SC client library loaded at run time with dlopen.
#include "transport/pcsc/pcsc_binding.h"

#include <dlfcn.h>

#include <cstdio>

#include "reader/frame_log.h"
#include "transport/vendor_library.h"

namespace kovra {
namespace {

constexpr const char *kDefaultLibrary = "libpcsclite.so.1";

template <typename Fn>
Fn Lookup(void *library, const char *name) {
  return reinterpret_cast<Fn>(::dlsym(library, name));
}

}  // namespace

bool PcscApi::Load(const char *file) {
  Unload();
  problem_.clear();
  library_ = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    const char *why = ::dlerror();
    problem_ = std::string("cannot load ") + file + (why != nullptr ? std::string(": ") + why : "");
    return false;
  }
  establish_context = Lookup<pcsc::EstablishContextFn>(library_, "SCardEstablishContext");
  release_context = Lookup<pcsc::ReleaseContextFn>(library_, "SCardReleaseContext");
  list_readers = Lookup<pcsc::ListReadersFn>(library_, "SCardListReaders");
  get_status_change = Lookup<pcsc::GetStatusChangeFn>(library_, "SCardGetStatusChange");
  connect = Lookup<pcsc::ConnectFn>(library_, "SCardConnect");
  disconnect = Lookup<pcsc::DisconnectFn>(library_, "SCardDisconnect");
  transmit = Lookup<pcsc::TransmitFn>(library_, "SCardTransmit");
  status = Lookup<pcsc::StatusFn>(library_, "SCardStatus");

  const struct {
    const char *name;
    bool found;
  } required[] = {{"SCardEstablishContext", establish_context != nullptr},
                  {"SCardReleaseContext", release_context != nullptr},
                  {"SCardListReaders", list_readers != nullptr},
                  {"SCardGetStatusChange", get_status_change != nullptr},
                  {"SCardConnect", connect != nullptr},
                  {"SCardDisconnect", disconnect != nullptr},
                  {"SCardTransmit", transmit != nullptr},
                  {"SCardStatus", status != nullptr}};
  for (const auto &function : required) {
    if (function.found) continue;
    problem_ = std::string(file) + " has no " + function.name;
    Unload();
    return false;
  }
  available_ = true;
  return true;
}

bool PcscApi::UseGivenFunctions() {
  available_ = establish_context && release_context && list_readers && get_status_change &&
               connect && disconnect && transmit && status;
  return available_;
}

void PcscApi::Unload() {
  if (library_ != nullptr) ::dlclose(library_);
  library_ = nullptr;
  Forget();
}

void PcscApi::Forget() {
  available_ = false;
  establish_context = nullptr;
  release_context = nullptr;
  list_readers = nullptr;
  get_status_change = nullptr;
  connect = nullptr;
  disconnect = nullptr;
  transmit = nullptr;
  status = nullptr;
}

PcscApi &PcscApi::Process() {
  static PcscApi *const api = [] {
    auto *loaded = new PcscApi;
    const char *file = VendorLibraryFile("KOVRA_PCSC_LIBRARY", kDefaultLibrary);
    if (!loaded->Load(file) && FrameLogEnabled()) {
      std::fprintf(stderr, "kovra: PC/SC readers are not available: %s\n",
                   loaded->Problem().c_str());
    }
    return loaded;
  }();
  return *api;
}

}  // namespace kovra
