// CFTD2xxPort: FTDI's D2XX library (libftd2xx.so) loaded at run time, so that the library starts
// and works without it: FTDI readers without a tty are then simply missing.
#include "transport/ftdi/d2xx_binding.h"

#include <dlfcn.h>

#include <string>

#include "reader/trace.h"
#include "transport/vendor_library.h"

namespace kovra {
namespace {

const char *LibraryFile() {
  return VendorLibraryFile("KOVRA_D2XX_LIBRARY", "libftd2xx.so");
}

}  // namespace

CFTD2xxPort &CFTD2xxPort::Process() {
  static CFTD2xxPort *const binding = new CFTD2xxPort;
  return *binding;
}

bool CFTD2xxPort::Loaded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return library_ != nullptr;
}

bool CFTD2xxPort::LoadOnDemand() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (library_) return true;
  void *library = ::dlopen(LibraryFile(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    trace::Trace("Fehler: Kann Ftd2xx.dll nicht laden\n");
    return false;
  }
  // In the order of the vendor's list; each missing one is reported and only its call is off.
  BindVendorFunction(library, "FT_ListDevices", list_devices_);
  BindVendorFunction(library, "FT_CreateDeviceInfoList", create_device_info_list_);
  BindVendorFunction(library, "FT_GetDeviceInfoList", get_device_info_list_);
  BindVendorFunction(library, "FT_GetDeviceInfoDetail", get_device_info_detail_);
  BindVendorFunction(library, "FT_ResetDevice", reset_device_);
  BindVendorFunction(library, "FT_SetBaudRate", set_baud_rate_);
  BindVendorFunction(library, "FT_SetLatencyTimer", set_latency_timer_);
  BindVendorFunction(library, "FT_SetUSBParameters", set_usb_parameters_);
  BindVendorFunction(library, "FT_W32_CreateFile", w32_create_file_);
  BindVendorFunction(library, "FT_W32_CloseHandle", w32_close_handle_);
  BindVendorFunction(library, "FT_W32_ReadFile", w32_read_file_);
  BindVendorFunction(library, "FT_W32_WriteFile", w32_write_file_);
  BindVendorFunction(library, "FT_W32_GetLastError", w32_get_last_error_);
  BindVendorFunction(library, "FT_W32_GetOverlappedResult", w32_get_overlapped_result_);
  BindVendorFunction(library, "FT_W32_ClearCommBreak", w32_clear_comm_break_);
  BindVendorFunction(library, "FT_W32_ClearCommError", w32_clear_comm_error_);
  BindVendorFunction(library, "FT_W32_EscapeCommFunction", w32_escape_comm_function_);
  BindVendorFunction(library, "FT_W32_GetCommModemStatus", w32_get_comm_modem_status_);
  BindVendorFunction(library, "FT_W32_GetCommState", w32_get_comm_state_);
  BindVendorFunction(library, "FT_W32_GetCommTimeouts", w32_get_comm_timeouts_);
  BindVendorFunction(library, "FT_W32_PurgeComm", w32_purge_comm_);
  BindVendorFunction(library, "FT_W32_SetCommBreak", w32_set_comm_break_);
  BindVendorFunction(library, "FT_W32_SetCommMask", w32_set_comm_mask_);
  BindVendorFunction(library, "FT_W32_SetCommState", w32_set_comm_state_);
  BindVendorFunction(library, "FT_W32_SetCommTimeouts", w32_set_comm_timeouts_);
  BindVendorFunction(library, "FT_W32_SetupComm", w32_setup_comm_);
  BindVendorFunction(library, "FT_W32_WaitCommEvent", w32_wait_comm_event_);
  library_ = library;
  return true;
}

void CFTD2xxPort::Unload() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (library_) ::dlclose(library_);
  library_ = nullptr;
  list_devices_ = nullptr;
  create_device_info_list_ = nullptr;
  get_device_info_list_ = nullptr;
  get_device_info_detail_ = nullptr;
  reset_device_ = nullptr;
  set_baud_rate_ = nullptr;
  set_latency_timer_ = nullptr;
  set_usb_parameters_ = nullptr;
  w32_create_file_ = nullptr;
  w32_close_handle_ = nullptr;
  w32_read_file_ = nullptr;
  w32_write_file_ = nullptr;
  w32_get_last_error_ = nullptr;
  w32_get_overlapped_result_ = nullptr;
  w32_clear_comm_break_ = nullptr;
  w32_clear_comm_error_ = nullptr;
  w32_escape_comm_function_ = nullptr;
  w32_get_comm_modem_status_ = nullptr;
  w32_get_comm_state_ = nullptr;
  w32_get_comm_timeouts_ = nullptr;
  w32_purge_comm_ = nullptr;
  w32_set_comm_break_ = nullptr;
  w32_set_comm_mask_ = nullptr;
  w32_set_comm_state_ = nullptr;
  w32_set_comm_timeouts_ = nullptr;
  w32_setup_comm_ = nullptr;
  w32_wait_comm_event_ = nullptr;
}

d2xx::FT_STATUS CFTD2xxPort::CreateDeviceInfoList(d2xx::DWORD *count) {
  LoadOnDemand();
  if (!create_device_info_list_) {
    trace::Trace("FT_CreateDeviceInfoList ist nicht vorhanden!\n");
    return d2xx::kMissing;
  }
  return create_device_info_list_(count);
}

d2xx::FT_STATUS CFTD2xxPort::GetDeviceInfoList(d2xx::DeviceInfo *list, d2xx::DWORD *count) {
  LoadOnDemand();
  if (!get_device_info_list_) {
    trace::Trace("FT_GetDeviceInfoList ist nicht vorhanden!\n");
    return d2xx::kMissing;
  }
  return get_device_info_list_(list, count);
}

d2xx::FT_STATUS CFTD2xxPort::SetLatencyTimer(d2xx::FT_HANDLE handle, uint8_t ms) {
  return set_latency_timer_ ? set_latency_timer_(handle, ms) : d2xx::kMissing;
}

d2xx::FT_HANDLE CFTD2xxPort::W32CreateFile(const char *serial_number) {
  LoadOnDemand();
  if (!w32_create_file_) return d2xx::InvalidHandle();
  return w32_create_file_(serial_number, d2xx::kGenericRead | d2xx::kGenericWrite, 0, nullptr,
                          d2xx::kOpenExisting, d2xx::kOpenBySerialNumber, nullptr);
}

bool CFTD2xxPort::W32CloseHandle(d2xx::FT_HANDLE handle) {
  return w32_close_handle_ && w32_close_handle_(handle) != 0;
}

bool CFTD2xxPort::W32ReadFile(d2xx::FT_HANDLE handle, void *buffer, d2xx::DWORD size,
                              d2xx::DWORD *done) {
  return w32_read_file_ && w32_read_file_(handle, buffer, size, done, nullptr) != 0;
}

bool CFTD2xxPort::W32WriteFile(d2xx::FT_HANDLE handle, const void *bytes, d2xx::DWORD size,
                               d2xx::DWORD *done) {
  return w32_write_file_ && w32_write_file_(handle, bytes, size, done, nullptr) != 0;
}

d2xx::DWORD CFTD2xxPort::W32GetLastError(d2xx::FT_HANDLE handle) {
  return w32_get_last_error_ ? w32_get_last_error_(handle) : 0;
}

bool CFTD2xxPort::W32ClearCommError(d2xx::FT_HANDLE handle, d2xx::DWORD *errors,
                                    d2xx::ComStat *status) {
  return w32_clear_comm_error_ && w32_clear_comm_error_(handle, errors, status) != 0;
}

bool CFTD2xxPort::W32GetCommModemStatus(d2xx::FT_HANDLE handle, d2xx::DWORD *status) {
  return w32_get_comm_modem_status_ && w32_get_comm_modem_status_(handle, status) != 0;
}

bool CFTD2xxPort::W32GetCommState(d2xx::FT_HANDLE handle, d2xx::Dcb *dcb) {
  return w32_get_comm_state_ && w32_get_comm_state_(handle, dcb) != 0;
}

bool CFTD2xxPort::W32SetCommMask(d2xx::FT_HANDLE handle, d2xx::ULONG mask) {
  return w32_set_comm_mask_ && w32_set_comm_mask_(handle, mask) != 0;
}

bool CFTD2xxPort::W32SetCommState(d2xx::FT_HANDLE handle, d2xx::Dcb *dcb) {
  return w32_set_comm_state_ && w32_set_comm_state_(handle, dcb) != 0;
}

bool CFTD2xxPort::W32SetCommTimeouts(d2xx::FT_HANDLE handle, d2xx::Timeouts *timeouts) {
  return w32_set_comm_timeouts_ && w32_set_comm_timeouts_(handle, timeouts) != 0;
}

void CFTD2xxPort::W32PurgeComm(d2xx::FT_HANDLE handle, d2xx::DWORD flags) {
  if (w32_purge_comm_) w32_purge_comm_(handle, flags);
}

void CFTD2xxPort::W32SetCommBreak(d2xx::FT_HANDLE handle) {
  if (w32_set_comm_break_) w32_set_comm_break_(handle);
}

void CFTD2xxPort::W32ClearCommBreak(d2xx::FT_HANDLE handle) {
  if (w32_clear_comm_break_) w32_clear_comm_break_(handle);
}

}  // namespace kovra
