// CUSBXpressBinding: the USBXpress library (libSiUSBXp.so) of the USB bridge in front of a
// Bluetooth module, loaded at run time, so that the library starts and works without it:
// Bluetooth adapters on the bridge are then simply missing.
//
// The library file is $KOVRA_SIUSBXP_LIBRARY when that is set and not empty, else
// "libSiUSBXp.so". It is loaded by the first GetNumDevices or Open; a failed load is tried again
// next time. Every function is looked up; one that is missing only disables its own call, which
// then answers status 1 (kMissing). What is missing goes to the library's trace output ("Fehler:
// Kann SiUSBXp.dll nicht laden", "Fehler: Kann SI_GetDriverVersion nicht initialisieren").
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "transport/bluetooth/usbxpress_abi.h"

namespace kovra {

class CUSBXpressBinding {
 public:
  CUSBXpressBinding() = default;
  ~CUSBXpressBinding() { Unload(); }
  CUSBXpressBinding(const CUSBXpressBinding &) = delete;
  CUSBXpressBinding &operator=(const CUSBXpressBinding &) = delete;

  usbxpress::SI_STATUS GetNumDevices(usbxpress::DWORD *count);
  usbxpress::SI_STATUS GetProductString(usbxpress::DWORD index, char *text, usbxpress::DWORD flags);
  usbxpress::SI_STATUS Open(usbxpress::DWORD index, usbxpress::HANDLE *handle);
  usbxpress::SI_STATUS Close(usbxpress::HANDLE handle);
  usbxpress::SI_STATUS Read(usbxpress::HANDLE handle, void *buffer, usbxpress::DWORD size,
                            usbxpress::DWORD *done);
  usbxpress::SI_STATUS Write(usbxpress::HANDLE handle, const void *bytes, usbxpress::DWORD size,
                             usbxpress::DWORD *done);
  usbxpress::SI_STATUS FlushBuffers(usbxpress::HANDLE handle, usbxpress::BYTE transmit,
                                    usbxpress::BYTE receive);
  usbxpress::SI_STATUS SetTimeouts(usbxpress::DWORD read_ms, usbxpress::DWORD write_ms);
  usbxpress::SI_STATUS CheckRxQueue(usbxpress::HANDLE handle, usbxpress::DWORD *bytes,
                                    usbxpress::DWORD *status);
  usbxpress::SI_STATUS SetBaudRate(usbxpress::HANDLE handle, usbxpress::DWORD baud);
  usbxpress::SI_STATUS SetLineControl(usbxpress::HANDLE handle, usbxpress::WORD control);
  usbxpress::SI_STATUS SetFlowControl(usbxpress::HANDLE handle, usbxpress::BYTE cts,
                                      usbxpress::BYTE rts, usbxpress::BYTE dtr);
  usbxpress::SI_STATUS SetBreak(usbxpress::HANDLE handle, usbxpress::WORD state);

  // The serial numbers of the bridge's devices, by index (empty for one that does not answer):
  // those of the first kMaxDevices indexes when the library counts more. None when the library is
  // missing or fails.
  std::vector<std::string> SerialNumbers();

  void Unload();
  static CUSBXpressBinding &Process();

 private:
  bool LoadOnDemand();

  std::mutex mutex_;
  void *library_ = nullptr;
  // Every function of the library, null while missing.
  struct Functions {
    usbxpress::GetNumDevicesFn get_num_devices = nullptr;
    usbxpress::GetProductStringFn get_product_string = nullptr;
    usbxpress::OpenFn open = nullptr;
    usbxpress::CloseFn close = nullptr;
    usbxpress::ReadFn read = nullptr;
    usbxpress::WriteFn write = nullptr;
    usbxpress::DeviceIoControlFn device_io_control = nullptr;
    usbxpress::FlushBuffersFn flush_buffers = nullptr;
    usbxpress::SetTimeoutsFn set_timeouts = nullptr;
    usbxpress::GetTimeoutsFn get_timeouts = nullptr;
    usbxpress::CheckRxQueueFn check_rx_queue = nullptr;
    usbxpress::SetBaudRateFn set_baud_rate = nullptr;
    usbxpress::SetBaudDivisorFn set_baud_divisor = nullptr;
    usbxpress::SetLineControlFn set_line_control = nullptr;
    usbxpress::SetFlowControlFn set_flow_control = nullptr;
    usbxpress::GetModemStatusFn get_modem_status = nullptr;
    usbxpress::SetBreakFn set_break = nullptr;
    usbxpress::ReadLatchFn read_latch = nullptr;
    usbxpress::WriteLatchFn write_latch = nullptr;
    usbxpress::GetPartNumberFn get_part_number = nullptr;
    usbxpress::GetDllVersionFn get_dll_version = nullptr;
    usbxpress::GetDriverVersionFn get_driver_version = nullptr;
  } fn_;
};

}  // namespace kovra
