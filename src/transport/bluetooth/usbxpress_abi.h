// The USBXpress library's functions as its Linux build has them (libSiUSBXp.so), for the binding
// and for the tests' stand-in library: SI_STATUS a 32-bit int (0 success), HANDLE a pointer,
// DWORD 32 bits.
#pragma once

#include <cstdint>

namespace kovra::usbxpress {

using SI_STATUS = int32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using BOOL = int32_t;
using HANDLE = void *;

inline constexpr SI_STATUS kSuccess = 0;
// What the binding answers for a function the library lacks.
inline constexpr SI_STATUS kMissing = 1;
inline constexpr DWORD kReturnSerialNumber = 0;
inline constexpr DWORD kProductStringSize = 256;
// The most devices a listing or an open looks at (indexes 0 to 63); a library that counts more
// has the rest left out.
inline constexpr DWORD kMaxDevices = 64;

using GetNumDevicesFn = SI_STATUS (*)(DWORD *count);
using GetProductStringFn = SI_STATUS (*)(DWORD index, void *text, DWORD flags);
using OpenFn = SI_STATUS (*)(DWORD index, HANDLE *handle);
using CloseFn = SI_STATUS (*)(HANDLE handle);
using ReadFn = SI_STATUS (*)(HANDLE handle, void *buffer, DWORD size, DWORD *done, void *ovl);
using WriteFn = SI_STATUS (*)(HANDLE handle, void *bytes, DWORD size, DWORD *done, void *ovl);
using DeviceIoControlFn = SI_STATUS (*)(HANDLE, DWORD, void *, DWORD, void *, DWORD, DWORD *);
using FlushBuffersFn = SI_STATUS (*)(HANDLE handle, BYTE flush_transmit, BYTE flush_receive);
using SetTimeoutsFn = SI_STATUS (*)(DWORD read_ms, DWORD write_ms);
using GetTimeoutsFn = SI_STATUS (*)(DWORD *read_ms, DWORD *write_ms);
using CheckRxQueueFn = SI_STATUS (*)(HANDLE handle, DWORD *bytes, DWORD *status);
using SetBaudRateFn = SI_STATUS (*)(HANDLE handle, DWORD baud);
using SetBaudDivisorFn = SI_STATUS (*)(HANDLE handle, WORD divisor);
using SetLineControlFn = SI_STATUS (*)(HANDLE handle, WORD control);
using SetFlowControlFn = SI_STATUS (*)(HANDLE handle, BYTE cts, BYTE rts, BYTE dtr, BYTE dsr,
                                       BYTE dcd, BOOL xon_xoff);
using GetModemStatusFn = SI_STATUS (*)(HANDLE handle, BYTE *status);
using SetBreakFn = SI_STATUS (*)(HANDLE handle, WORD state);
using ReadLatchFn = SI_STATUS (*)(HANDLE handle, BYTE *latch);
using WriteLatchFn = SI_STATUS (*)(HANDLE handle, BYTE mask, BYTE latch);
using GetPartNumberFn = SI_STATUS (*)(DWORD index, BYTE *part);
using GetDllVersionFn = SI_STATUS (*)(DWORD *high, DWORD *low);
using GetDriverVersionFn = SI_STATUS (*)(DWORD *high, DWORD *low);

}  // namespace kovra::usbxpress
