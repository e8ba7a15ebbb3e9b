// The exported DESFire functions: thin wrappers that find the port and run the command.
#include <algorithm>
#include <cstring>

#include "api/api_guard.h"
#include "api/desfire_arguments.h"
#include "desfire/authenticate.h"
#include "desfire/commands.h"
#include "kovra.h"
#include "reader/sdk_app.h"

using kovra::CKOVRA_SDKApp;
using kovra::CMyByteArray;
using kovra::Guarded;
using kovra::PortRef;
namespace df = kovra::desfire;
namespace args = kovra::desfire_arguments;

namespace {

// Runs body on the port of the handle and answers its result; -1 for an unknown handle. An
// argument check that failed (`refused`, its error code, not 0) leaves that code as the port's
// last error instead and answers -1: nothing is sent.
template <typename Body>
int OnPortForData(int handle, int refused, Body &&body) {
  return Guarded(-1, [&] {
    PortRef port = CKOVRA_SDKApp::Instance().FindPort(handle);
    if (!port) return -1;
    if (refused != 0) {
      port->SetLastError(refused);
      return -1;
    }
    return body(*port);
  });
}

// The same for the functions that succeed or fail: 0 when body succeeds, else -1.
template <typename Body>
int OnPort(int handle, int refused, Body &&body) {
  return OnPortForData(handle, refused,
                       [&](kovra::CKOVRA_Port &port) { return body(port) ? 0 : -1; });
}

// Copies at most size bytes; the number copied.
int CopyUpTo(const CMyByteArray &bytes, unsigned char *buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  const size_t count = std::min(bytes.GetSize(), static_cast<size_t>(size));
  if (count > 0) std::memcpy(buffer, bytes.GetData(), count);
  return static_cast<int>(count);
}

// "No bytes" for a null pointer or a length of 0 or less.
const unsigned char *BytesOrNull(const unsigned char *bytes, int length) {
  return length > 0 ? bytes : nullptr;
}

}  // namespace

extern "C" {

KOVRA_API int KOVRA_DESFireAuthenticateAES(int handle, int key_no, const unsigned char *key,
                                           int key_length) {
  return OnPort(handle, args::KeyNo(key_no), [&](kovra::CKOVRA_Port &port) {
    return df::Authenticate(port, df::AuthMethod::kAes, key_no, key, key_length);
  });
}

KOVRA_API int KOVRA_DESFireAuthenticateISO(int handle, int key_no, const unsigned char *key,
                                           int key_length) {
  return OnPort(handle, args::KeyNo(key_no), [&](kovra::CKOVRA_Port &port) {
    return df::Authenticate(port, df::AuthMethod::kIso, key_no, key, key_length);
  });
}

KOVRA_API int KOVRA_DESFireSelectApplication(int handle, int aid) {
  return OnPort(handle, 0, [&](kovra::CKOVRA_Port &port) {
    return df::SelectApplication(port, static_cast<uint32_t>(aid) & 0xFFFFFF);
  });
}

KOVRA_API int KOVRA_DESFireCreateApplication(int handle, int aid, int crypto_method, int key_count,
                                             int iso_file_ids, int change_key_access,
                                             int config_bits, const unsigned char *iso_data,
                                             int iso_data_length) {
  return OnPort(
      handle,
      args::CreateApplication(crypto_method, key_count, change_key_access, config_bits,
                              BytesOrNull(iso_data, iso_data_length) != nullptr, iso_data_length),
      [&](kovra::CKOVRA_Port &port) {
        return df::CreateApplication(port, static_cast<uint32_t>(aid) & 0xFFFFFF, crypto_method,
                                     key_count, iso_file_ids, change_key_access, config_bits,
                                     BytesOrNull(iso_data, iso_data_length), iso_data_length);
      });
}

KOVRA_API int KOVRA_DESFireCreateStdDataFile(int handle, int file_no, int iso_file_id,
                                             int file_size, int comm_settings, int access_rights) {
  return OnPort(
      handle,
      args::CreateStdDataFile(file_no, iso_file_id, file_size, comm_settings, access_rights),
      [&](kovra::CKOVRA_Port &port) {
        return df::CreateStdDataFile(port, file_no, iso_file_id, file_size, comm_settings,
                                     access_rights);
      });
}

KOVRA_API int KOVRA_DESFireDeleteApplication(int handle, int aid) {
  return OnPort(handle, 0, [&](kovra::CKOVRA_Port &port) {
    return df::DeleteApplication(port, static_cast<uint32_t>(aid) & 0xFFFFFF);
  });
}

KOVRA_API int KOVRA_DESFireFormatPICC(int handle) {
  return OnPort(handle, 0, [&](kovra::CKOVRA_Port &port) { return df::FormatPicc(port); });
}

KOVRA_API int KOVRA_DESFireChangeKey(int handle, int key_no, const unsigned char *new_key,
                                     int new_key_length, int key_version,
                                     const unsigned char *old_key, int old_key_length,
                                     int new_master_key_type) {
  return OnPort(handle, args::ChangeKey(key_no, key_version), [&](kovra::CKOVRA_Port &port) {
    return df::ChangeKey(port, key_no, BytesOrNull(new_key, new_key_length), new_key_length,
                         key_version, BytesOrNull(old_key, old_key_length), old_key_length,
                         new_master_key_type);
  });
}

KOVRA_API int KOVRA_DESFireGetFileSettings(int handle, int file_no, unsigned char *buffer,
                                           int size) {
  return OnPortForData(handle, args::FileNo(file_no), [&](kovra::CKOVRA_Port &port) {
    CMyByteArray settings;
    if (!df::GetFileSettings(port, file_no, settings)) return -1;
    return CopyUpTo(settings, buffer, size);
  });
}

KOVRA_API int KOVRA_DESFireGetFreeMemory(int handle) {
  return Guarded(-1, [&] {
    PortRef port = CKOVRA_SDKApp::Instance().FindPort(handle);
    return port ? df::GetFreeMemory(*port) : -1;
  });
}

KOVRA_API int KOVRA_DESFireReadData(int handle, int file_no, int comm_mode, int offset, int length,
                                    unsigned char *buffer, int size) {
  return OnPortForData(handle, args::DataTransfer(file_no, comm_mode, offset, length),
                       [&](kovra::CKOVRA_Port &port) {
                         CMyByteArray data;
                         if (!df::ReadData(port, file_no, comm_mode, static_cast<uint32_t>(offset),
                                           static_cast<uint32_t>(length), data)) {
                           return -1;
                         }
                         return CopyUpTo(data, buffer, size);
                       });
}

KOVRA_API int KOVRA_DESFireWriteData(int handle, int file_no, int comm_mode, int offset,
                                     const unsigned char *data, int length) {
  return OnPort(
      handle,
      args::DataTransfer(file_no, comm_mode, offset, BytesOrNull(data, length) ? length : 0),
      [&](kovra::CKOVRA_Port &port) {
        const unsigned char *bytes = BytesOrNull(data, length);
        return df::WriteData(port, file_no, comm_mode, static_cast<uint32_t>(offset), bytes,
                             bytes != nullptr ? static_cast<size_t>(length) : 0);
      });
}

}  // extern "C"
