// The PC/SC client library (pcsc-lite's libpcsclite) loaded at run time with dlopen, so the
// library starts and works on a machine without it: PC/SC readers are then simply missing.
//
// The library file is $KOVRA_PCSC_LIBRARY when that is set and not empty (a path or a soname, for
// tests and unusual installs), else "libpcsclite.so.1". Which daemon the client reaches is the
// client library's affair ($PCSCLITE_CSOCK_NAME names another socket). Setting
// KOVRA_FRAME_TRACE=1 prints on stderr why PC/SC is not available.
#pragma once

#include <string>

#include "transport/pcsc/pcsc_abi.h"

namespace kovra {

class PcscApi {
 public:
  PcscApi() = default;
  ~PcscApi() { Unload(); }
  PcscApi(const PcscApi &) = delete;
  PcscApi &operator=(const PcscApi &) = delete;

  // Loads `file` (searched as dlopen searches, or a path) and looks up its functions. True when
  // every function below was found. A library already loaded is unloaded first. Problem() then
  // tells why PC/SC is not available (empty when it is).
  bool Load(const char *file);
  // Takes the functions filled in by hand (a test's stand-ins) as the binding: true, and
  // Available(), when none of them is null.
  bool UseGivenFunctions();
  // Frees the library and forgets every function. Safe to call twice.
  void Unload();
  bool Available() const { return available_; }
  const std::string &Problem() const { return problem_; }

  // The functions; all null unless Available().
  pcsc::EstablishContextFn establish_context = nullptr;
  pcsc::ReleaseContextFn release_context = nullptr;
  pcsc::ListReadersFn list_readers = nullptr;
  pcsc::GetStatusChangeFn get_status_change = nullptr;
  pcsc::ConnectFn connect = nullptr;
  pcsc::DisconnectFn disconnect = nullptr;
  pcsc::TransmitFn transmit = nullptr;
  pcsc::StatusFn status = nullptr;

  // The library's binding, loaded on first use from the file named above. Never destroyed: a
  // call abandoned at its bound may still run in the client library when the process ends.
  static PcscApi &Process();

 private:
  void Forget();

  void *library_ = nullptr;
  bool available_ = false;
  std::string problem_;
};

}  // namespace kovra
