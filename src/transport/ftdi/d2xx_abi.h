// The D2XX library's functions and records as its Linux build has them (libftd2xx.so), for the
// binding and for the tests' stand-in library. On 64-bit Linux DWORD and ULONG are 32 bits wide,
// a handle is a pointer, and a device information record is 104 bytes: four 32-bit numbers, the
// serial number (16) and the description (64), then the pointer-sized handle (the 100-byte
// record of 32-bit Windows does not fit here).
#pragma once

#include <cstddef>
#include <cstdint>

#include "transport/vendor_handle.h"

namespace kovra::d2xx {

using DWORD = uint32_t;
using ULONG = uint32_t;
using BOOL = int32_t;
using FT_STATUS = ULONG;
using FT_HANDLE = void *;

inline constexpr FT_STATUS kOk = 0;
// What a binding answers for a function the library lacks.
inline constexpr FT_STATUS kMissing = 1;
inline constexpr DWORD kOpenBySerialNumber = 1;
inline constexpr DWORD kGenericRead = 0x80000000u;
inline constexpr DWORD kGenericWrite = 0x40000000u;
inline constexpr DWORD kOpenExisting = 3;
inline constexpr DWORD kPurgeTxClear = 0x0004;
inline constexpr DWORD kPurgeRxClear = 0x0008;
// The largest device count a listing takes: more is a broken library, not a machine.
inline constexpr DWORD kMaxDevices = 64;

// FT_W32_CreateFile's failure: INVALID_HANDLE_VALUE as the Linux headers define it.
inline FT_HANDLE InvalidHandle() {
  return LinuxInvalidHandle();
}
// True for a handle FT_W32_CreateFile gave out (see IsUsableVendorHandle).
inline bool Usable(FT_HANDLE handle) {
  return IsUsableVendorHandle(handle);
}

struct DeviceInfo {
  ULONG flags;
  ULONG type;
  ULONG id;
  DWORD loc_id;
  char serial_number[16];
  char description[64];
  FT_HANDLE handle;  // not null while the device is open in this process
};
static_assert(sizeof(void *) != 8 || sizeof(DeviceInfo) == 104);
static_assert(offsetof(DeviceInfo, serial_number) == 16);

// FTCOMSTAT: the flag bits in one word, then the queue counts.
struct ComStat {
  DWORD flags;
  DWORD in_queue;
  DWORD out_queue;
};
static_assert(sizeof(ComStat) == 12);

// FTDCB, the line settings record (its flag bits in one word).
struct Dcb {
  DWORD length;
  DWORD baud_rate;
  DWORD flags;
  uint16_t reserved;
  uint16_t xon_limit;
  uint16_t xoff_limit;
  uint8_t byte_size;
  uint8_t parity;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t stop_bits;  // 0 one, 2 two
  char xon_char;
  char xoff_char;
  char error_char;
  char eof_char;
  char event_char;
  uint16_t reserved1;
};
static_assert(sizeof(Dcb) == 28);
// The flag bits of Dcb::flags.
inline constexpr DWORD kDcbBinary = 0x0001;
inline constexpr DWORD kDcbDtrEnable = 0x0010;
inline constexpr DWORD kDcbRtsEnable = 0x1000;

struct Timeouts {
  DWORD read_interval;
  DWORD read_multiplier;
  DWORD read_constant;
  DWORD write_multiplier;
  DWORD write_constant;
};

using ListDevicesFn = FT_STATUS (*)(void *, void *, DWORD);
using CreateDeviceInfoListFn = FT_STATUS (*)(DWORD *count);
using GetDeviceInfoListFn = FT_STATUS (*)(DeviceInfo *list, DWORD *count);
using GetDeviceInfoDetailFn = FT_STATUS (*)(DWORD, DWORD *, DWORD *, DWORD *, DWORD *, void *,
                                            void *, FT_HANDLE *);
using ResetDeviceFn = FT_STATUS (*)(FT_HANDLE);
using SetBaudRateFn = FT_STATUS (*)(FT_HANDLE, ULONG);
using SetLatencyTimerFn = FT_STATUS (*)(FT_HANDLE, uint8_t);
using SetUsbParametersFn = FT_STATUS (*)(FT_HANDLE, ULONG, ULONG);
using W32CreateFileFn = FT_HANDLE (*)(const char *name, DWORD access, DWORD share, void *security,
                                      DWORD create, DWORD flags, FT_HANDLE templ);
using W32CloseHandleFn = BOOL (*)(FT_HANDLE);
using W32ReadFileFn = BOOL (*)(FT_HANDLE, void *buffer, DWORD size, DWORD *done, void *overlapped);
using W32WriteFileFn = BOOL (*)(FT_HANDLE, const void *buffer, DWORD size, DWORD *done,
                                void *overlapped);
using W32GetLastErrorFn = DWORD (*)(FT_HANDLE);
using W32GetOverlappedResultFn = BOOL (*)(FT_HANDLE, void *, DWORD *, BOOL);
using W32HandleFn = BOOL (*)(FT_HANDLE);  // ClearCommBreak, SetCommBreak
using W32ClearCommErrorFn = BOOL (*)(FT_HANDLE, DWORD *errors, ComStat *status);
using W32EscapeCommFunctionFn = BOOL (*)(FT_HANDLE, DWORD);
using W32GetCommModemStatusFn = BOOL (*)(FT_HANDLE, DWORD *status);
using W32GetCommStateFn = BOOL (*)(FT_HANDLE, Dcb *dcb);
using W32GetCommTimeoutsFn = BOOL (*)(FT_HANDLE, Timeouts *timeouts);
using W32PurgeCommFn = BOOL (*)(FT_HANDLE, DWORD flags);
using W32SetCommMaskFn = BOOL (*)(FT_HANDLE, ULONG mask);
using W32SetCommStateFn = BOOL (*)(FT_HANDLE, Dcb *dcb);
using W32SetCommTimeoutsFn = BOOL (*)(FT_HANDLE, Timeouts *timeouts);
using W32SetupCommFn = BOOL (*)(FT_HANDLE, DWORD, DWORD);
using W32WaitCommEventFn = BOOL (*)(FT_HANDLE, ULONG *, void *);

}  // namespace kovra::d2xx
