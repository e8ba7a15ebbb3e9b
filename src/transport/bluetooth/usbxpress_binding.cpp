// CUSBXpressBinding: the USB bridge's library in front of a Bluetooth module, loaded at run time
// so that the library starts and works without it.
#include "transport/bluetooth/usbxpress_binding.h"

#include <dlfcn.h>

#include <cstring>

#include "reader/trace.h"
#include "transport/vendor_library.h"

namespace kovra {
namespace {

using namespace usbxpress;

const char *LibraryFile() {
  return VendorLibraryFile("KOVRA_SIUSBXP_LIBRARY", "libSiUSBXp.so");
}

}  // namespace

CUSBXpressBinding &CUSBXpressBinding::Process() {
  static CUSBXpressBinding *const binding = new CUSBXpressBinding;
  return *binding;
}

bool CUSBXpressBinding::LoadOnDemand() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (library_) return true;
  void *library = ::dlopen(LibraryFile(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    trace::Trace("Fehler: Kann SiUSBXp.dll nicht laden\n");
    return false;
  }
  BindVendorFunction(library, "SI_GetNumDevices", fn_.get_num_devices);
  BindVendorFunction(library, "SI_GetProductString", fn_.get_product_string);
  BindVendorFunction(library, "SI_Open", fn_.open);
  BindVendorFunction(library, "SI_Close", fn_.close);
  BindVendorFunction(library, "SI_Read", fn_.read);
  BindVendorFunction(library, "SI_Write", fn_.write);
  BindVendorFunction(library, "SI_DeviceIOControl", fn_.device_io_control);
  BindVendorFunction(library, "SI_FlushBuffers", fn_.flush_buffers);
  BindVendorFunction(library, "SI_SetTimeouts", fn_.set_timeouts);
  BindVendorFunction(library, "SI_GetTimeouts", fn_.get_timeouts);
  BindVendorFunction(library, "SI_CheckRXQueue", fn_.check_rx_queue);
  BindVendorFunction(library, "SI_SetBaudRate", fn_.set_baud_rate);
  BindVendorFunction(library, "SI_SetBaudDivisor", fn_.set_baud_divisor);
  BindVendorFunction(library, "SI_SetLineControl", fn_.set_line_control);
  BindVendorFunction(library, "SI_SetFlowControl", fn_.set_flow_control);
  BindVendorFunction(library, "SI_GetModemStatus", fn_.get_modem_status);
  BindVendorFunction(library, "SI_SetBreak", fn_.set_break);
  BindVendorFunction(library, "SI_ReadLatch", fn_.read_latch);
  BindVendorFunction(library, "SI_WriteLatch", fn_.write_latch);
  BindVendorFunction(library, "SI_GetPartNumber", fn_.get_part_number);
  BindVendorFunction(library, "SI_GetDLLVersion", fn_.get_dll_version);
  BindVendorFunction(library, "SI_GetDriverVersion", fn_.get_driver_version);
  library_ = library;
  return true;
}

void CUSBXpressBinding::Unload() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (library_) ::dlclose(library_);
  library_ = nullptr;
  fn_ = {};
}

SI_STATUS CUSBXpressBinding::GetNumDevices(DWORD *count) {
  LoadOnDemand();
  return fn_.get_num_devices ? fn_.get_num_devices(count) : kMissing;
}

SI_STATUS CUSBXpressBinding::GetProductString(DWORD index, char *text, DWORD flags) {
  return fn_.get_product_string ? fn_.get_product_string(index, text, flags) : kMissing;
}

SI_STATUS CUSBXpressBinding::Open(DWORD index, HANDLE *handle) {
  LoadOnDemand();
  return fn_.open ? fn_.open(index, handle) : kMissing;
}

SI_STATUS CUSBXpressBinding::Close(HANDLE handle) {
  return fn_.close ? fn_.close(handle) : kMissing;
}

SI_STATUS CUSBXpressBinding::Read(HANDLE handle, void *buffer, DWORD size, DWORD *done) {
  return fn_.read ? fn_.read(handle, buffer, size, done, nullptr) : kMissing;
}

SI_STATUS CUSBXpressBinding::Write(HANDLE handle, const void *bytes, DWORD size, DWORD *done) {
  return fn_.write ? fn_.write(handle, const_cast<void *>(bytes), size, done, nullptr) : kMissing;
}

SI_STATUS CUSBXpressBinding::FlushBuffers(HANDLE handle, BYTE transmit, BYTE receive) {
  return fn_.flush_buffers ? fn_.flush_buffers(handle, transmit, receive) : kMissing;
}

SI_STATUS CUSBXpressBinding::SetTimeouts(DWORD read_ms, DWORD write_ms) {
  return fn_.set_timeouts ? fn_.set_timeouts(read_ms, write_ms) : kMissing;
}

SI_STATUS CUSBXpressBinding::CheckRxQueue(HANDLE handle, DWORD *bytes, DWORD *status) {
  return fn_.check_rx_queue ? fn_.check_rx_queue(handle, bytes, status) : kMissing;
}

SI_STATUS CUSBXpressBinding::SetBaudRate(HANDLE handle, DWORD baud) {
  return fn_.set_baud_rate ? fn_.set_baud_rate(handle, baud) : kMissing;
}

SI_STATUS CUSBXpressBinding::SetLineControl(HANDLE handle, WORD control) {
  return fn_.set_line_control ? fn_.set_line_control(handle, control) : kMissing;
}

SI_STATUS CUSBXpressBinding::SetFlowControl(HANDLE handle, BYTE cts, BYTE rts, BYTE dtr) {
  return fn_.set_flow_control ? fn_.set_flow_control(handle, cts, rts, dtr, 0, 0, 0) : kMissing;
}

SI_STATUS CUSBXpressBinding::SetBreak(HANDLE handle, WORD state) {
  return fn_.set_break ? fn_.set_break(handle, state) : kMissing;
}

std::vector<std::string> CUSBXpressBinding::SerialNumbers() {
  DWORD count = 0;
  if (GetNumDevices(&count) != kSuccess) return {};
  // Devices are asked for one by one, so a bridge with more (or a library that claims more) is
  // walked up to the bound and not beyond.
  std::vector<std::string> serials;
  for (DWORD index = 0; index < count && index < kMaxDevices; ++index) {
    char text[kProductStringSize + 1] = {};
    if (GetProductString(index, text, kReturnSerialNumber) != kSuccess) text[0] = '\0';
    serials.emplace_back(text, strnlen(text, kProductStringSize));
  }
  return serials;
}

}  // namespace kovra
