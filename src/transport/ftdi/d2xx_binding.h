// CFTD2xxPort: FTDI's D2XX library (libftd2xx.so) loaded at run time, so that the library starts
// and works without it: FTDI readers without a tty are then simply missing.
//
// The library file is $KOVRA_D2XX_LIBRARY when that is set and not empty (a path or a soname, for
// tests and unusual installs), else "libftd2xx.so". It is loaded by the first call of
// CreateDeviceInfoList, GetDeviceInfoList or W32CreateFile; a failed load is tried again by the
// next such call. Every function is looked up; one that is missing disables only its own call,
// which then answers its fallback without doing anything: status 1 (kMissing) for the FT_
// functions, an invalid handle for W32CreateFile, 0 (false) for the other W32 functions. What is
// missing is written to the library's trace output ("Fehler: Kann Ftd2xx.dll nicht laden",
// "Fehler: Kann FT_SetBaudRate nicht initialisieren").
//
// Threads: loading happens under a lock; the calls themselves are the vendor library's, which
// takes calls for different handles from different threads.
#pragma once

#include <mutex>

#include "transport/ftdi/d2xx_abi.h"

namespace kovra {

class CFTD2xxPort {
 public:
  CFTD2xxPort() = default;
  ~CFTD2xxPort() { Unload(); }
  CFTD2xxPort(const CFTD2xxPort &) = delete;
  CFTD2xxPort &operator=(const CFTD2xxPort &) = delete;

  // The calls the system makes, with the vendor functions' arguments and results.
  d2xx::FT_STATUS CreateDeviceInfoList(d2xx::DWORD *count);
  d2xx::FT_STATUS GetDeviceInfoList(d2xx::DeviceInfo *list, d2xx::DWORD *count);
  d2xx::FT_STATUS SetLatencyTimer(d2xx::FT_HANDLE handle, uint8_t ms);
  d2xx::FT_HANDLE W32CreateFile(const char *serial_number);
  bool W32CloseHandle(d2xx::FT_HANDLE handle);
  bool W32ReadFile(d2xx::FT_HANDLE handle, void *buffer, d2xx::DWORD size, d2xx::DWORD *done);
  bool W32WriteFile(d2xx::FT_HANDLE handle, const void *bytes, d2xx::DWORD size, d2xx::DWORD *done);
  d2xx::DWORD W32GetLastError(d2xx::FT_HANDLE handle);
  bool W32ClearCommError(d2xx::FT_HANDLE handle, d2xx::DWORD *errors, d2xx::ComStat *status);
  bool W32GetCommModemStatus(d2xx::FT_HANDLE handle, d2xx::DWORD *status);
  bool W32GetCommState(d2xx::FT_HANDLE handle, d2xx::Dcb *dcb);
  bool W32SetCommMask(d2xx::FT_HANDLE handle, d2xx::ULONG mask);
  bool W32SetCommState(d2xx::FT_HANDLE handle, d2xx::Dcb *dcb);
  bool W32SetCommTimeouts(d2xx::FT_HANDLE handle, d2xx::Timeouts *timeouts);
  void W32PurgeComm(d2xx::FT_HANDLE handle, d2xx::DWORD flags);
  void W32SetCommBreak(d2xx::FT_HANDLE handle);
  void W32ClearCommBreak(d2xx::FT_HANDLE handle);

  // True once the library is loaded (some functions may still be missing).
  bool Loaded() const;
  // Frees the library and forgets every function. Safe to call twice.
  void Unload();

  // The process's binding. Never destroyed: ports still open at process end are closed by the
  // library object's destructor, which may run after static objects are gone.
  static CFTD2xxPort &Process();

 private:
  // Loads the library when it is not loaded yet; true when it is.
  bool LoadOnDemand();

  mutable std::mutex mutex_;
  void *library_ = nullptr;
  d2xx::ListDevicesFn list_devices_ = nullptr;
  d2xx::CreateDeviceInfoListFn create_device_info_list_ = nullptr;
  d2xx::GetDeviceInfoListFn get_device_info_list_ = nullptr;
  d2xx::GetDeviceInfoDetailFn get_device_info_detail_ = nullptr;
  d2xx::ResetDeviceFn reset_device_ = nullptr;
  d2xx::SetBaudRateFn set_baud_rate_ = nullptr;
  d2xx::SetLatencyTimerFn set_latency_timer_ = nullptr;
  d2xx::SetUsbParametersFn set_usb_parameters_ = nullptr;
  d2xx::W32CreateFileFn w32_create_file_ = nullptr;
  d2xx::W32CloseHandleFn w32_close_handle_ = nullptr;
  d2xx::W32ReadFileFn w32_read_file_ = nullptr;
  d2xx::W32WriteFileFn w32_write_file_ = nullptr;
  d2xx::W32GetLastErrorFn w32_get_last_error_ = nullptr;
  d2xx::W32GetOverlappedResultFn w32_get_overlapped_result_ = nullptr;
  d2xx::W32HandleFn w32_clear_comm_break_ = nullptr;
  d2xx::W32ClearCommErrorFn w32_clear_comm_error_ = nullptr;
  d2xx::W32EscapeCommFunctionFn w32_escape_comm_function_ = nullptr;
  d2xx::W32GetCommModemStatusFn w32_get_comm_modem_status_ = nullptr;
  d2xx::W32GetCommStateFn w32_get_comm_state_ = nullptr;
  d2xx::W32GetCommTimeoutsFn w32_get_comm_timeouts_ = nullptr;
  d2xx::W32PurgeCommFn w32_purge_comm_ = nullptr;
  d2xx::W32HandleFn w32_set_comm_break_ = nullptr;
  d2xx::W32SetCommMaskFn w32_set_comm_mask_ = nullptr;
  d2xx::W32SetCommStateFn w32_set_comm_state_ = nullptr;
  d2xx::W32SetCommTimeoutsFn w32_set_comm_timeouts_ = nullptr;
  d2xx::W32SetupCommFn w32_setup_comm_ = nullptr;
  d2xx::W32WaitCommEventFn w32_wait_comm_event_ = nullptr;
};

}  // namespace kovra
