// The exported transponder commands: RF field, request, select, RATS, PPS, and the reader's
// housekeeping commands (mode, serial number, USB mode, control command).
#include <cstring>

#include "api/api_guard.h"
#include "kovra.h"
#include "reader/answer_copy.h"
#include "reader/sdk_app.h"

using kovra::CKOVRA_SDKApp;
using kovra::CMyByteArray;
using kovra::Guarded;
using kovra::PortRef;

namespace {

constexpr uint8_t kRequest = 0x30;
constexpr uint8_t kSelect = 0x31;
constexpr uint8_t kIsoParameter = 0x40;
constexpr uint8_t kRats = 0x41;
constexpr uint8_t kPps = 0x42;
constexpr uint8_t kMode = 0xF4;
constexpr uint8_t kRfField = 0xF5;
constexpr uint8_t kControl = 0xF6;
constexpr uint8_t kSerialNumber = 0xF8;
constexpr uint8_t kUsbMode = 0xFF;

uint8_t LowByte(int value) {
  return static_cast<uint8_t>(value & 0xFF);
}

// A command whose answer is not looked at: 0 / -1.
int Simple(int handle, uint8_t code, std::initializer_list<uint8_t> data) {
  return Guarded(-1, [&] {
    PortRef port = CKOVRA_SDKApp::Instance().FindPort(handle);
    CMyByteArray reply;
    return port && port->Command(code, data.begin(), data.size(), reply) ? 0 : -1;
  });
}

// A command whose answer goes to the caller's buffer: the byte count / -1.
int WithAnswer(int handle, uint8_t code, unsigned char *buffer, int size) {
  return Guarded(-1, [&] {
    PortRef port = CKOVRA_SDKApp::Instance().FindPort(handle);
    CMyByteArray answer;
    if (!port || !port->Command(code, nullptr, 0, answer)) return -1;
    return kovra::CopyAnswer(*port, answer, buffer, size);
  });
}

}  // namespace

extern "C" {

KOVRA_API int KOVRA_SetRfField(int handle, int on) {
  return Simple(handle, kRfField, {LowByte(on)});
}

KOVRA_API int KOVRA_SetMode(int handle, int mode) {
  return Guarded(-1, [&] {
    PortRef port = CKOVRA_SDKApp::Instance().FindPort(handle);
    if (!port) return -1;
    if ((mode & 0x7F) > 3) {
      port->SetLastError(KOVRA_ERR_MODE_INVALID);
      return -1;
    }
    if (port->Family() == 2 || port->Family() == 3) return 0;  // these readers have no modes
    CMyByteArray reply;
    const uint8_t data = LowByte(mode);
    return port->Command(kMode, &data, 1, reply) ? 0 : -1;
  });
}

KOVRA_API int KOVRA_Request(int handle, unsigned short *atqa) {
  return Guarded(-1, [&] {
    PortRef port = CKOVRA_SDKApp::Instance().FindPort(handle);
    CMyByteArray answer;
    if (!port || !port->Command(kRequest, nullptr, 0, answer)) return -1;
    if (answer.GetSize() != 2) {
      port->SetLastError(KOVRA_ERR_WRONG_LENGTH);
      return -1;
    }
    if (atqa != nullptr) *atqa = static_cast<unsigned short>(answer[0] | (answer[1] << 8));
    return 0;
  });
}

KOVRA_API int KOVRA_Select(int handle, unsigned char *uid, int size, unsigned char *sak) {
  return Guarded(-1, [&] {
    if (sak != nullptr) *sak = 0;
    PortRef port = CKOVRA_SDKApp::Instance().FindPort(handle);
    CMyByteArray answer;
    if (!port || !port->Command(kSelect, nullptr, 0, answer)) return -1;
    // An empty answer or a UID longer than the buffer fails without an error code of its own.
    if (answer.IsEmpty()) return -1;
    const size_t uid_length = answer.GetSize() - 1;
    const size_t capacity = uid != nullptr && size > 0 ? static_cast<size_t>(size) : 0;
    if (uid_length > capacity) return -1;
    if (uid_length > 0) std::memcpy(uid, answer.GetData() + 1, uid_length);
    if (sak != nullptr) *sak = answer[0];
    return static_cast<int>(uid_length);
  });
}

KOVRA_API int KOVRA_SetIsoParameter(int handle, int value) {
  return Simple(handle, kIsoParameter, {LowByte(value)});
}

KOVRA_API int KOVRA_SendRats(int handle, unsigned char *buffer, int size) {
  return WithAnswer(handle, kRats, buffer, size);
}

KOVRA_API int KOVRA_SendPps(int handle, int parameter) {
  return Guarded(-1, [&] {
    PortRef port = CKOVRA_SDKApp::Instance().FindPort(handle);
    CMyByteArray reply;
    const uint8_t data = LowByte(parameter);
    if (!port || !port->Command(kPps, &data, 1, reply)) return -1;
    port->OnCardActivated();  // a newly activated card: the session of the one before is over
    return 0;
  });
}

KOVRA_API int KOVRA_GetSerialNumber(int handle, unsigned char *buffer, int size) {
  return WithAnswer(handle, kSerialNumber, buffer, size);
}

KOVRA_API int KOVRA_SetUsbMode(int handle, int mode) {
  return Simple(handle, kUsbMode, {LowByte(mode)});
}

KOVRA_API int KOVRA_SendControlCommand(int handle, int byte1, int byte2) {
  return Simple(handle, kControl, {LowByte(byte1), LowByte(byte2)});
}

}  // extern "C"
